#ifndef BASE_BOUND_TASK_H_
#define BASE_BOUND_TASK_H_

#include <functional>
#include <utility>

#include "base/ref_counted.h"

namespace base {

// A reference-counted call without arguments. The bound state (the functor
// and whatever it captured) is destroyed when the last reference goes,
// whether or not the call ever ran.
class BoundTask : public RefCountedThreadSafe<BoundTask> {
 public:
  explicit BoundTask(std::function<void()> fn) : fn_(std::move(fn)) {}
  void Run() const {
    if (fn_) fn_();
  }

 private:
  friend class RefCountedThreadSafe<BoundTask>;
  ~BoundTask() = default;
  std::function<void()> fn_;
};

// What gets posted: a shared reference to a bound call.
class Closure {
 public:
  Closure() = default;
  explicit Closure(std::function<void()> fn)
      : task_(fn ? new BoundTask(std::move(fn)) : nullptr) {}
  void Run() const {
    if (task_) task_->Run();
  }
  bool is_null() const { return !task_; }
  void Reset() { task_ = nullptr; }

 private:
  scoped_refptr<BoundTask> task_;
};

inline Closure Bind(std::function<void()> fn) { return Closure(std::move(fn)); }

// Where a task was posted. Carried for diagnostics only.
struct PostSite {
  PostSite() = default;
  PostSite(const char* function, const char* file, int line, const void* pc = nullptr)
      : function_name(function), file_name(file), line_number(line), program_counter(pc) {}
  const char* function_name = "";
  const char* file_name = "";
  int line_number = -1;
  const void* program_counter = nullptr;
};

}  // namespace base

// Post site named after an explicit function name, e.g.
// FROM_HERE_WITH("task::TaskBase::RunTask").
#define FROM_HERE_WITH(function) ::base::PostSite(function, __FILE__, __LINE__)
#define FROM_HERE FROM_HERE_WITH(__func__)

#endif  // BASE_BOUND_TASK_H_
