#include "base/at_exit.h"

#include <windows.h>

#include "base/auto_lock.h"
#include "base/logging.h"

namespace base {

namespace {

// The live manager; null before the entry creates one and after it is gone.
AtExitManager* g_top_manager = nullptr;

}  // namespace

AtExitManager::AtExitManager() : next_manager_(g_top_manager) {
  DCHECK(!g_top_manager);
  g_top_manager = this;
}

AtExitManager::~AtExitManager() {
  DCHECK(g_top_manager) << "Tried to ~AtExitManager without an AtExitManager";
  DCHECK(this == g_top_manager);
  // Only this manager's own callbacks run, even if it is not the live one.
  ProcessOwnCallbacks();
  if (g_top_manager == this) g_top_manager = next_manager_;
  // The lock goes with the members, last.
}

// static
void AtExitManager::RegisterCallback(AtExitCallbackType func, void* param) {
  AtExitManager* manager = g_top_manager;
  DCHECK(manager) << "Tried to RegisterCallback without an AtExitManager";
  if (!manager || !func) return;
  AutoLock hold(manager->lock_);
  manager->stack_.push(std::make_pair(func, param));
}

// static
void AtExitManager::ProcessCallbacksNow() {
  AtExitManager* manager = g_top_manager;
  DCHECK(manager) << "Tried to ProcessCallbacksNow without an AtExitManager";
  if (manager) manager->ProcessOwnCallbacks();
}

void AtExitManager::ProcessOwnCallbacks() {
  // The critical section is re-entrant, so a callback may register another
  // one; it runs in this same loop.
  AutoLock hold(lock_);
  while (!stack_.empty()) {
    std::pair<AtExitCallbackType, void*> entry = stack_.top();
    stack_.pop();
    entry.first(entry.second);
  }
}

}  // namespace base
