#include "TarnelSetup/task_context.h"

#include "base/logging.h"
#include "base/name_hash.h"

namespace task_object {

TaskContext::TaskContext() {}

TaskContext::~TaskContext() {
  // The objects hold each other through their in-sets and out-lists; break
  // those cycles first so that dropping the tables frees every object.
  for (auto& entry : runtime_objects_) entry.second->ReleaseLinks();
  start_runtime_object_ = nullptr;
  runtime_objects_.clear();
  task_protos_.clear();
}

// Both Add functions look before inserting: a rejected insert would take and
// drop a reference, freeing an object that nobody else holds yet.
bool TaskContext::AddRuntimeObject(RuntimeObject* object) {
  uint32_t hash = base::NameHash(object->name());
  if (runtime_objects_.count(hash)) return false;
  runtime_objects_[hash] = object;
  return true;
}

RuntimeObject* TaskContext::FindRuntimeObject(const std::string& name) const {
  RuntimeObjectMap::const_iterator it = runtime_objects_.find(base::NameHash(name));
  return it == runtime_objects_.end() ? nullptr : it->second.get();
}

bool TaskContext::AddTaskProto(TaskProto* task_proto) {
  uint32_t hash = base::NameHash(task_proto->name());
  if (task_protos_.count(hash)) return false;
  task_protos_[hash] = task_proto;
  return true;
}

TaskProto* TaskContext::FindTaskProto(const std::string& name) const {
  TaskProtoMap::const_iterator it = task_protos_.find(base::NameHash(name));
  return it == task_protos_.end() ? nullptr : it->second.get();
}

bool TaskContext::AllDefined() const {
  for (const auto& entry : runtime_objects_) {
    if (!entry.second->defined()) {
      DCHECK(false);
      return false;
    }
  }
  return true;
}

}  // namespace task_object
