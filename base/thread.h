#ifndef BASE_THREAD_H_
#define BASE_THREAD_H_

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <string>

#include "base/message_loop.h"
#include "base/message_loop_proxy.h"
#include "base/platform_thread.h"
#include "base/ref_counted.h"

namespace base {

class WaitableEvent;

// How a Thread's loop is set up.
struct ThreadSettings {
  MessageLoop::Type message_loop_type = MessageLoop::TYPE_DEFAULT;
  // 0: the system's default stack size.
  size_t stack_size = 0;
};

// An OS thread that runs a MessageLoop until it is stopped. Owned and
// driven by one thread (the owner): Start, Stop and deletion happen there.
//
// Life of a started thread: the loop is created on the new thread, named
// after the thread, Init() runs, and only then does Start return; Run()
// runs the loop; after it AfterLoop() runs and the loop is destroyed, with
// its remaining (delayed) tasks unrun. Stop() lets the loop finish every
// immediate task queued before the stop request, then joins the thread.
class Thread : public PlatformThread::Delegate {
 public:
  explicit Thread(const std::string& name);
  // Stops the thread. A subclass that overrides Init/Run/AfterLoop must call
  // Stop() in its own destructor, while those overrides still exist.
  ~Thread() override;

  // Starts with the default settings (TYPE_DEFAULT loop, default stack).
  bool Start();
  // Returns true once the thread's loop exists and Init() has run; false
  // when the system refused the thread.
  bool StartWithSettings(const ThreadSettings& settings);

  // Asks the loop to quit after its queued immediate tasks, waits for the
  // thread to end and closes it. Does nothing if the thread was never
  // started. Never call it on the thread itself.
  void Stop();
  // Only the first half of Stop(): posts the quit request and returns.
  void StopSoon();

  // The thread's loop while the thread runs, else null. Use it on the
  // thread itself; other threads should post through message_loop_proxy().
  MessageLoop* message_loop() const { return message_loop_.load(); }
  // The task runner of the thread's loop from a successful start until
  // Stop(); posts fail once the loop has ended. Null before a start.
  scoped_refptr<MessageLoopProxy> message_loop_proxy() const { return message_loop_proxy_; }
  // The OS thread id while the thread runs, else 0.
  DWORD thread_id() const { return thread_id_.load(); }
  const std::string& thread_name() const { return name_; }
  bool IsRunning() const { return message_loop() != NULL; }

  // For an object that stands for a thread which already has a loop (the
  // process's first thread): makes message_loop() return |loop|. Such an
  // object is never started.
  void set_message_loop(MessageLoop* loop) { message_loop_.store(loop); }

 protected:
  // PlatformThread::Delegate. Runs on the new thread.
  void ThreadBody() override;
  // On the new thread, before Start returns.
  virtual void Init() {}
  // Runs the loop; returns when it has quit.
  virtual void Run(MessageLoop* message_loop);
  // On the thread, after the loop has quit and before it is destroyed.
  virtual void AfterLoop() {}

 private:
  struct StartupData {
    ThreadSettings settings;
    WaitableEvent* event;
  };

  bool started_ = false;
  bool stopping_ = false;
  StartupData* startup_data_ = nullptr;
  HANDLE thread_ = NULL;
  std::atomic<MessageLoop*> message_loop_{nullptr};
  std::atomic<DWORD> thread_id_{0};
  std::string name_;
  scoped_refptr<MessageLoopProxy> message_loop_proxy_;

  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
};

}  // namespace base

#endif  // BASE_THREAD_H_
