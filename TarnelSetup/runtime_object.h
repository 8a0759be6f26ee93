#ifndef TARNELSETUP_RUNTIME_OBJECT_H_
#define TARNELSETUP_RUNTIME_OBJECT_H_

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "TarnelSetup/task_proto.h"
#include "base/ref_counted.h"

namespace task {
class TaskBase;
}  // namespace task

namespace task_object {

// One node of the task graph: the thread its task runs on, the prototype
// that names the task class, the objects it waits for, the conditions it
// tests and the objects that follow it.
class RuntimeObject : public base::RefCountedThreadSafe<RuntimeObject> {
 public:
  // Thread value of an object whose task runs on a thread of its own; every
  // value from this one up means the same. 0 to 2 are the setup threads.
  static constexpr int OWN_THREAD = 3;

  // In-set entries are keyed by object identity; a raw pointer can be looked
  // up without building a reference.
  struct ObjectLess {
    typedef void is_transparent;
    bool operator()(const scoped_refptr<RuntimeObject>& a,
                    const scoped_refptr<RuntimeObject>& b) const {
      return a.get() < b.get();
    }
    bool operator()(const scoped_refptr<RuntimeObject>& a, const RuntimeObject* b) const {
      return a.get() < b;
    }
    bool operator()(const RuntimeObject* a, const scoped_refptr<RuntimeObject>& b) const {
      return a < b.get();
    }
  };
  // Object -> whether it has finished.
  typedef std::map<scoped_refptr<RuntimeObject>, bool, ObjectLess> InObjectMap;
  typedef std::vector<scoped_refptr<RuntimeObject>> OutObjectList;
  // Setup-context key and the value it must hold.
  typedef std::pair<std::string, std::string> Condition;
  typedef std::vector<Condition> ConditionList;
  typedef std::vector<std::string> ParamList;

  explicit RuntimeObject(const std::string& name);

  const std::string& name() const { return name_; }

  int thread() const { return thread_; }
  void set_thread(int thread) { thread_ = thread; }

  TaskProto* task_proto() const { return task_proto_ptr_.get(); }
  void set_task_proto(TaskProto* task_proto) { task_proto_ptr_ = task_proto; }

  task::TaskBase* task() const { return task_; }
  // Takes ownership of |task|; the previous task is deleted unless it is
  // |task| itself.
  void set_task(task::TaskBase* task);
  // Hands the task to the caller without deleting it.
  task::TaskBase* release_task();

  const InObjectMap& in_objects() const { return in_objects_; }
  // Adds |object| as not finished; false (and no change) when it is already
  // in the set.
  bool AddInObject(RuntimeObject* object);
  // False when |object| is not in the set.
  bool MarkInObjectFinished(const RuntimeObject* object);
  // True for an empty set.
  bool AllInObjectsFinished() const;

  const OutObjectList& out_objects() const { return out_objects_; }
  void AddOutObject(RuntimeObject* object);

  const ConditionList& conditions() const { return conditions_; }
  void AddCondition(const std::string& key, const std::string& value);

  const ParamList& in_params() const { return in_params_; }
  void AddInParam(const std::string& param) { in_params_.push_back(param); }
  const ParamList& out_params() const { return out_params_; }
  void AddOutParam(const std::string& param) { out_params_.push_back(param); }

  bool defined() const { return defined_; }
  void set_defined(bool defined) { defined_ = defined; }

  // Activation, on the Dispatch thread.
  //
  // Makes a new task instance of the prototype's class from the class
  // registry and keeps it in task(). False when the class is not registered,
  // and also when the previous task of this object still exists (it is
  // running or ending): that one is left alone and nothing is started.
  bool CreateTask();
  // Gives the task the runner of the setup thread named by thread() (below
  // OWN_THREAD; otherwise the task makes a thread of its own) and starts it.
  // Returns at once.
  void StartTask();
  // Called from the end step of this object's task: for each out-object in
  // list order, marks this object finished in its in-set, and starts it when
  // its in-set is complete and its first condition holds. A skipped object is
  // not remembered; it is evaluated again when another predecessor that
  // lists it finishes.
  void NotifyOutObjects();

  // Drops the in-set, the out-list and the prototype. The graph's links form
  // reference cycles; the context's teardown breaks them with this.
  void ReleaseLinks();

 protected:
  friend class base::RefCountedThreadSafe<RuntimeObject>;
  virtual ~RuntimeObject();

 private:
  std::string name_;
  int thread_ = OWN_THREAD;
  scoped_refptr<TaskProto> task_proto_ptr_;
  task::TaskBase* task_ = nullptr;
  InObjectMap in_objects_;
  OutObjectList out_objects_;
  ConditionList conditions_;
  ParamList in_params_;
  ParamList out_params_;
  bool defined_ = false;
};

}  // namespace task_object

#endif  // TARNELSETUP_RUNTIME_OBJECT_H_
