#include "TarnelSetup/runtime_object.h"

#include "TarnelSetup/setup_context.h"
#include "TarnelSetup/setup_thread_message_loop_proxy.h"
#include "TarnelSetup/task_base.h"
#include "TarnelSetup/task_class_registry.h"
#include "base/logging.h"

namespace task_object {

RuntimeObject::RuntimeObject(const std::string& name) : name_(name) {}

RuntimeObject::~RuntimeObject() {
  delete task_;
  task_ = nullptr;
}

void RuntimeObject::set_task(task::TaskBase* task) {
  if (task == task_) return;
  task::TaskBase* old = task_;
  task_ = task;
  delete old;
}

task::TaskBase* RuntimeObject::release_task() {
  task::TaskBase* task = task_;
  task_ = nullptr;
  return task;
}

bool RuntimeObject::AddInObject(RuntimeObject* object) {
  return in_objects_.insert(std::make_pair(scoped_refptr<RuntimeObject>(object), false)).second;
}

bool RuntimeObject::MarkInObjectFinished(const RuntimeObject* object) {
  InObjectMap::iterator it = in_objects_.find(object);
  if (it == in_objects_.end()) return false;
  it->second = true;
  return true;
}

bool RuntimeObject::AllInObjectsFinished() const {
  for (const auto& entry : in_objects_) {
    if (!entry.second) return false;
  }
  return true;
}

void RuntimeObject::AddOutObject(RuntimeObject* object) { out_objects_.push_back(object); }

void RuntimeObject::AddCondition(const std::string& key, const std::string& value) {
  conditions_.push_back(Condition(key, value));
}

bool RuntimeObject::CreateTask() {
  DCHECK(task_proto_ptr_);
  if (!task_proto_ptr_) return false;
  // A new instance would replace one that is still running (an object that
  // lists itself, or one reached again through a second predecessor before
  // its task has ended); that task would then be deleted under its own feet.
  if (task_) {
    LOG(WARNING) << "run task name " << name_ << " not started: its previous task has not ended";
    return false;
  }
  set_task(task::TaskClassRegistry::Global().CreateTask(task_proto_ptr_->class_name()));
  DCHECK(task_ != NULL);
  return task_ != nullptr;
}

void RuntimeObject::StartTask() {
  DCHECK(task_ != NULL);
  if (!task_) return;
  // Setup threads by number; every other value, negative ones included, gets
  // a thread of its own (a runner for a negative number could never post).
  if (thread_ >= 0 && thread_ < OWN_THREAD)
    task_->SetTaskRunner(new setup::SetupThreadMessageLoopProxy(thread_));
  task_->RunTask(this);
}

void RuntimeObject::NotifyOutObjects() {
  for (const scoped_refptr<RuntimeObject>& out : out_objects_) {
    RuntimeObject* next = out.get();
    next->MarkInObjectFinished(this);
    if (!next->AllInObjectsFinished()) continue;
    // Only the first condition decides. An absent key reads as empty, which
    // never matches: the loader drops conditions with an empty value.
    if (!next->conditions_.empty()) {
      const Condition& condition = next->conditions_.front();
      std::string value;
      SetupContext::GetInstance()->GetString(condition.first, &value);
      if (value != condition.second) continue;
    }
    if (next->CreateTask()) next->StartTask();
  }
}

void RuntimeObject::ReleaseLinks() {
  // Moved out first: dropping a link may destroy another object, which must
  // then not find this one half cleared.
  InObjectMap in_objects;
  in_objects.swap(in_objects_);
  OutObjectList out_objects;
  out_objects.swap(out_objects_);
  scoped_refptr<TaskProto> task_proto(std::move(task_proto_ptr_));
}

}  // namespace task_object
