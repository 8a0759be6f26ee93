#ifndef TARNELSETUP_TASK_CLASS_REGISTRY_H_
#define TARNELSETUP_TASK_CLASS_REGISTRY_H_

#include <string>

namespace task {

class TaskBase;

// One static record per task class: how to make an instance and the name
// that Task elements give in their class attribute.
struct TaskClassInfo {
  // Returns a new instance, owned by the caller.
  TaskBase* (*factory)();
  // Zero-terminated byte string.
  const char* class_name;
};

// The task classes by name. Filled during static initialisation, on the one
// thread that runs it, before the program's entry; only read afterwards, so
// there is no lock.
//
// Slot order. Lookup is first to last, so when two records carry one name
// the earlier slot wins. The order must not depend on the order in which
// the linker happens to place the classes' static initialisers: every slot
// is ranked by the class's position in the fixed list of the program's task
// classes (see the .cc), and a class that is not in that list (a test's, or
// a new one not yet listed) ranks after all listed ones. Records of equal
// rank keep the order in which they arrived. A new task class of the
// program therefore gets its line in that list.
class TaskClassRegistry {
 public:
  static const int kMaxTaskClasses = 96;

  // Constant-initialised (all slots empty, count 0), so it is ready before
  // any static initialiser registers into the process-wide table.
  constexpr TaskClassRegistry() : infos_(), ranks_(), count_(0) {}

  // The process-wide table that REGISTER_TASK_CLASS fills.
  static TaskClassRegistry& Global();

  // Takes a slot for |info| (which must live as long as the registry) at its
  // rank. When all kMaxTaskClasses slots are taken the record is dropped
  // without notice and false is returned; the table never shrinks.
  bool Register(const TaskClassInfo* info);

  // The first record, in slot order, whose name equals |class_name| byte
  // for byte (same length, same bytes), or null.
  const TaskClassInfo* Find(const std::string& class_name) const;
  // A new instance from the first matching record's factory; null when no
  // record matches.
  TaskBase* CreateTask(const std::string& class_name) const;

  int count() const { return count_; }
  // Slot |index|, 0 to count() - 1.
  const TaskClassInfo* info(int index) const { return infos_[index]; }

  // Position of |class_name| in the list of the program's task classes, or
  // the rank shared by every unlisted name (after all listed ones).
  static int RankOf(const char* class_name);

 private:
  const TaskClassInfo* infos_[kMaxTaskClasses];
  int ranks_[kMaxTaskClasses];
  int count_;
};

// new T, as a TaskClassInfo factory.
template <class T>
TaskBase* CreateTaskInstance() {
  return new T();
}

}  // namespace task

// Registers a task class from a static initialiser. Use once per class, at
// namespace scope in the class's .cc:
//   REGISTER_TASK_CLASS(uninstall::StartUninstall, "StartUninstall");
#define REGISTER_TASK_CLASS(ClassName, class_name_text) \
  REGISTER_TASK_CLASS_WITH_ID_(ClassName, class_name_text, __COUNTER__)
#define REGISTER_TASK_CLASS_WITH_ID_(ClassName, class_name_text, id) \
  REGISTER_TASK_CLASS_EXPAND_(ClassName, class_name_text, id)
#define REGISTER_TASK_CLASS_EXPAND_(ClassName, class_name_text, id)                             \
  namespace {                                                                                   \
  const ::task::TaskClassInfo g_task_class_info_##id = {&::task::CreateTaskInstance<ClassName>, \
                                                        class_name_text};                       \
  [[maybe_unused]] const bool g_task_class_registered_##id =                                    \
      ::task::TaskClassRegistry::Global().Register(&g_task_class_info_##id);                    \
  }                                                                                             \
  static_assert(true, "")

#endif  // TARNELSETUP_TASK_CLASS_REGISTRY_H_
