#ifndef BASE_DEFAULT_MESSAGE_PUMP_H_
#define BASE_DEFAULT_MESSAGE_PUMP_H_

#include <cstdint>

#include "base/message_pump.h"
#include "base/waitable_event.h"

namespace base {

// The pump of a TYPE_DEFAULT loop: no window messages, just an auto-reset
// event that posting threads signal.
class DefaultMessagePump : public MessagePump {
 public:
  DefaultMessagePump();

  void Run(Delegate* delegate) override;
  void Quit() override;
  void ScheduleWork() override;
  void ScheduleDelayedWork(int64_t delayed_run_time) override;

 private:
  ~DefaultMessagePump() override;

  WaitableEvent event_;
  bool keep_running_ = true;
  // Run time of the earliest delayed task, 0 when there is none.
  int64_t delayed_work_time_ = 0;
};

}  // namespace base

#endif  // BASE_DEFAULT_MESSAGE_PUMP_H_
