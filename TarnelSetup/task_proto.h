#ifndef TARNELSETUP_TASK_PROTO_H_
#define TARNELSETUP_TASK_PROTO_H_

#include <string>

#include "base/ref_counted.h"

namespace task_object {

// One Task element of the graph: its name and the task class that the
// runtime objects under it instantiate. Shared by those objects and the
// context's prototype table.
class TaskProto : public base::RefCountedThreadSafe<TaskProto> {
 public:
  explicit TaskProto(const std::string& name);

  const std::string& name() const { return name_; }
  const std::string& class_name() const { return class_name_; }
  void set_class_name(const std::string& class_name) { class_name_ = class_name; }

 private:
  friend class base::RefCountedThreadSafe<TaskProto>;
  ~TaskProto();

  std::string name_;
  std::string class_name_;
};

}  // namespace task_object

#endif  // TARNELSETUP_TASK_PROTO_H_
