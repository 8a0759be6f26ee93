#ifndef TARNELSETUP_SETUP_THREAD_H_
#define TARNELSETUP_SETUP_THREAD_H_

#include "base/bound_task.h"
#include "base/time_delta.h"

namespace setup {

// The setup threads by identifier, and posting to them from anywhere. A
// lower identifier outlives a higher one: Dispatch stops first, then File,
// the UI thread (the process's first thread) last.
//
// Posting succeeds only while the identified thread is registered (see
// SetupThreadImpl) and its loop runs; otherwise it returns false, the
// closure is not run and is released with the caller's copy.
class SetupThread {
 public:
  enum ID {
    UI = 0,        // "Setup_Main": the process's first thread, Windows-message loop
    FILE = 1,      // "Setup_FileThread": Windows-message loop, COM apartment
    DISPATCH = 2,  // "Setup_DispatchThread": plain loop, COM apartment; runs the engine
    ID_COUNT = 3,
  };

  // Immediate, nestable post to thread |identifier|.
  static bool PostTask(int identifier, const base::PostSite& from_here, const base::Closure& task);

  // Posts to thread |identifier| after |delay|, rounded up to whole
  // milliseconds ((us + 999) / 1000: 1 us waits 1 ms, 0 stays immediate,
  // negative delays are immediate). |nestable| false keeps the task out of
  // nested runs. True if the closure was queued.
  static bool PostToThread(int identifier, const base::PostSite& from_here,
                           const base::Closure& task, base::TimeDelta delay, bool nestable);

  // True, with the identifier in |identifier|, when called on a registered
  // setup thread whose loop exists; false elsewhere.
  static bool GetCurrentId(int* identifier);

 protected:
  SetupThread() = default;
  ~SetupThread() = default;
};

}  // namespace setup

#endif  // TARNELSETUP_SETUP_THREAD_H_
