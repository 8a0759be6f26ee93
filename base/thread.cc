#include "base/thread.h"

#include <memory>

#include "base/logging.h"
#include "base/waitable_event.h"

namespace base {

Thread::Thread(const std::string& name) : name_(name) {}

Thread::~Thread() { Stop(); }

bool Thread::Start() { return StartWithSettings(ThreadSettings()); }

bool Thread::StartWithSettings(const ThreadSettings& settings) {
  DCHECK(!started_) << "a thread is started once";
  if (started_) return false;
  // Auto-reset, unsignalled; fatal if the system refuses it.
  WaitableEvent event(false, false);
  StartupData startup = {settings, &event};
  startup_data_ = &startup;
  thread_ = PlatformThread::Create(settings.stack_size, this);
  if (!thread_) {
    startup_data_ = nullptr;
    return false;
  }
  // The new thread has its loop and has run Init() once this returns.
  event.Wait();
  startup_data_ = nullptr;
  started_ = true;
  return true;
}

void Thread::Stop() {
  if (!started_) return;
  DCHECK(GetCurrentThreadId() != thread_id()) << "a thread cannot stop itself";
  StopSoon();
  // Waiting for ourselves would never end; the owner's later Stop joins.
  if (GetCurrentThreadId() == thread_id()) return;
  DWORD result = WaitForSingleObject(thread_, INFINITE);
  DCHECK_EQ(result, static_cast<DWORD>(WAIT_OBJECT_0));
  (void)result;
  CloseHandle(thread_);
  thread_ = NULL;
  message_loop_proxy_ = nullptr;
  started_ = false;
  stopping_ = false;
}

void Thread::StopSoon() {
  if (stopping_ || !message_loop_proxy_) return;
  stopping_ = true;
  // Through the proxy: if the loop has already ended on its own (a WM_QUIT
  // on a UI loop, say) the post simply fails.
  message_loop_proxy_->PostTask(FROM_HERE_WITH("base::Thread::StopSoon"),
                                Closure([] { MessageLoop::current()->Quit(); }));
}

void Thread::Run(MessageLoop* message_loop) { message_loop->Run(); }

void Thread::ThreadBody() {
  std::unique_ptr<MessageLoop> loop(new MessageLoop(startup_data_->settings.message_loop_type));
  thread_id_.store(GetCurrentThreadId());
  PlatformThread::SetName(name_);
  loop->set_thread_name(name_);
  // Read by the owner after the start handshake below.
  message_loop_proxy_ = loop->message_loop_proxy();
  message_loop_.store(loop.get());

  Init();
  // |startup_data_| belongs to the starting thread and is gone after this.
  startup_data_->event->Signal();

  Run(loop.get());

  AfterLoop();
  message_loop_.store(nullptr);
  loop.reset();
  thread_id_.store(0);
}

}  // namespace base
