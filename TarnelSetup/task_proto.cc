#include "TarnelSetup/task_proto.h"

namespace task_object {

TaskProto::TaskProto(const std::string& name) : name_(name) {}

TaskProto::~TaskProto() {}

}  // namespace task_object
