#ifndef TARNELSETUP_TASK_DISPATCHER_H_
#define TARNELSETUP_TASK_DISPATCHER_H_

#include <windows.h>

#include <string>

#include "TarnelSetup/task_context.h"
#include "TarnelSetup/task_xml_parser.h"
#include "TarnelSetup/thread_checker.h"
#include "base/ref_counted.h"

namespace task {

// Owns the task graph and sets it going. Init2 loads the graph on the main
// thread and moves the engine onto the Dispatch setup thread, where the start
// object's task is started; from then on each task's end step starts the
// ready successors, all on the Dispatch thread. The run ends when an exit
// task makes the UI loop quit.
//
// One per process, created on first use from any thread and destroyed by the
// AtExitManager.
class TaskDispatcher {
 public:
  static TaskDispatcher* GetInstance();

  // Loads the graph document (integer resource |resource_id| of type
  // |resource_type| in |module|) and posts the start to the Dispatch thread.
  // False when the document cannot be loaded or the Dispatch thread takes no
  // work; then nothing runs. Called once, on the main thread.
  bool Init2(HMODULE module, WORD resource_id, const std::wstring& resource_type);

  // The same for a graph that is already loaded (TaskXmlParser::ParseDocument,
  // say): |context| replaces the dispatcher's context and its start object is
  // started on the Dispatch thread. Only while no graph is running. False
  // for a context without a start object, or when the Dispatch thread takes
  // no work.
  bool InitWithContext(task_object::TaskContext* context);

  // The engine's debug check that the caller is the dispatcher's thread
  // (the Dispatch thread once the graph runs).
  void CheckCalledOnValidThread();

  task_object::TaskContext* context() const { return context_.get(); }

 private:
  TaskDispatcher();
  virtual ~TaskDispatcher();
  static void DestroyInstance(void* unused);

  // Posts InternalInit to the Dispatch thread.
  bool PostStart(const char* from);
  // On the Dispatch thread: rebinds the checker and posts RunStartObject.
  void InternalInit();
  // On the Dispatch thread: starts the start object's task, without testing
  // its in-set or conditions.
  void RunStartObject();

  TaskXmlParser parser_;
  scoped_refptr<task_object::TaskContext> context_;
  ThreadChecker thread_checker_;

  TaskDispatcher(const TaskDispatcher&) = delete;
  TaskDispatcher& operator=(const TaskDispatcher&) = delete;
};

}  // namespace task

#endif  // TARNELSETUP_TASK_DISPATCHER_H_
