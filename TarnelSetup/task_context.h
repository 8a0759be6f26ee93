#ifndef TARNELSETUP_TASK_CONTEXT_H_
#define TARNELSETUP_TASK_CONTEXT_H_

#include <stdint.h>

#include <map>
#include <string>

#include "TarnelSetup/runtime_object.h"
#include "TarnelSetup/task_proto.h"
#include "base/ref_counted.h"

namespace task_object {

// The task graph in memory: the prototypes and the runtime objects, each
// keyed by the hash of its name, and the object the run starts with.
class TaskContext : public base::RefCountedThreadSafe<TaskContext> {
 public:
  typedef std::map<uint32_t, scoped_refptr<TaskProto>> TaskProtoMap;
  typedef std::map<uint32_t, scoped_refptr<RuntimeObject>> RuntimeObjectMap;

  TaskContext();

  // Registers |object| under the hash of its name. When the hash is taken the
  // table is left as it is and false is returned.
  bool AddRuntimeObject(RuntimeObject* object);
  // The registered object, or null. No reference is added.
  RuntimeObject* FindRuntimeObject(const std::string& name) const;

  // The same for prototypes.
  bool AddTaskProto(TaskProto* task_proto);
  TaskProto* FindTaskProto(const std::string& name) const;

  // Whether every registered runtime object has been defined by its element;
  // true for an empty table.
  bool AllDefined() const;

  RuntimeObject* start_runtime_object() const { return start_runtime_object_.get(); }
  void set_start_runtime_object(RuntimeObject* object) { start_runtime_object_ = object; }

  const TaskProtoMap& task_protos() const { return task_protos_; }
  const RuntimeObjectMap& runtime_objects() const { return runtime_objects_; }

 protected:
  friend class base::RefCountedThreadSafe<TaskContext>;
  virtual ~TaskContext();

 private:
  TaskProtoMap task_protos_;
  RuntimeObjectMap runtime_objects_;
  scoped_refptr<RuntimeObject> start_runtime_object_;
};

}  // namespace task_object

#endif  // TARNELSETUP_TASK_CONTEXT_H_
