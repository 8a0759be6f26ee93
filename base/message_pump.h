#ifndef BASE_MESSAGE_PUMP_H_
#define BASE_MESSAGE_PUMP_H_

#include <cstdint>

#include "base/ref_counted.h"

namespace base {

// What a message loop runs on: waits for work and calls back into the loop.
// Reference counted because a posting thread wakes the pump after it has let
// go of the loop's lock, when the loop itself may already be gone.
class MessagePump : public RefCountedThreadSafe<MessagePump> {
 public:
  // The loop side, called on the loop's thread only.
  class Delegate {
   public:
    // Runs at most one immediate task; true if one ran.
    virtual bool DoWork() = 0;
    // Runs at most one due delayed task; true if one ran. Stores the run time
    // of the earliest delayed task left in |next_delayed_run_time|, or 0.
    virtual bool DoDelayedWork(int64_t* next_delayed_run_time) = 0;
    // Runs deferred work when there is nothing else, or turns a pending quit
    // request into Quit() of the pump; true if it ran something.
    virtual bool DoIdleWork() = 0;

   protected:
    virtual ~Delegate() = default;
  };

  MessagePump() = default;

  // Loops, calling |delegate|, until Quit(). May be nested.
  virtual void Run(Delegate* delegate) = 0;
  // Makes the innermost Run() return at its next check. Loop thread only.
  virtual void Quit() = 0;
  // Wakes the pump so that it calls DoWork soon. Any thread.
  virtual void ScheduleWork() = 0;
  // The earliest delayed task now runs at |delayed_run_time|. Loop thread.
  virtual void ScheduleDelayedWork(int64_t delayed_run_time) = 0;
  // The loop is going away: release what belongs to its thread. Called on the
  // loop's thread; later ScheduleWork calls from other threads do nothing.
  virtual void Shutdown() {}

 protected:
  friend class RefCountedThreadSafe<MessagePump>;
  virtual ~MessagePump() = default;

  // Milliseconds from now until |run_time|, rounded up, never below 0.
  static int64_t MillisecondsUntil(int64_t run_time);

 private:
  MessagePump(const MessagePump&) = delete;
  MessagePump& operator=(const MessagePump&) = delete;
};

}  // namespace base

#endif  // BASE_MESSAGE_PUMP_H_
