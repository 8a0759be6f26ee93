#include "TarnelSetup/runtime_object.h"

#include "TarnelSetup/task_base.h"

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
