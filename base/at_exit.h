#ifndef BASE_AT_EXIT_H_
#define BASE_AT_EXIT_H_

#include <stack>
#include <utility>

#include "base/lock.h"

namespace base {

// Clean-up registry for process-wide singletons. The entry keeps one manager
// alive for the whole run; lazily created objects register their destruction
// with it, and the manager runs those callbacks when it is destroyed, the last
// registered first.
class AtExitManager {
 public:
  typedef void (*AtExitCallbackType)(void*);

  AtExitManager();
  // Runs the callbacks registered with this manager, then makes the manager
  // that was live before it (none in the program) the live one again.
  ~AtExitManager();

  // Pushes (|func|, |param|) onto the live manager's stack. Without a live
  // manager the callback is dropped and never called.
  static void RegisterCallback(AtExitCallbackType func, void* param);

  // Pops and calls the live manager's callbacks until its stack is empty.
  static void ProcessCallbacksNow();

 private:
  void ProcessOwnCallbacks();

  // Guards |stack_|: singletons are created lazily on several threads.
  Lock lock_;  // a critical section with spin count 2000
  std::stack<std::pair<AtExitCallbackType, void*>> stack_;
  AtExitManager* next_manager_;

  AtExitManager(const AtExitManager&) = delete;
  AtExitManager& operator=(const AtExitManager&) = delete;
};

}  // namespace base

#endif  // BASE_AT_EXIT_H_
