#include "TarnelSetup/setup_main_loop.h"

#include "TarnelSetup/setup_process_sub_thread.h"
#include "TarnelSetup/setup_thread.h"
#include "TarnelSetup/setup_thread_impl.h"
#include "base/logging.h"
#include "base/message_loop.h"
#include "base/platform_thread.h"
#include "base/thread.h"

namespace setup {

namespace {

const char kMainThreadName[] = "Setup_Main";
const char kFileThreadName[] = "Setup_FileThread";
const char kDispatchThreadName[] = "Setup_DispatchThread";

}  // namespace

SetupMainLoop* g_current_setup_main_loop = nullptr;

SetupMainLoop::SetupMainLoop(const SetupMainParams& params)
    : parameters_(&params), parsed_command_line_(params.command_line) {
  DCHECK(!g_current_setup_main_loop);
  g_current_setup_main_loop = this;
}

SetupMainLoop::~SetupMainLoop() {
  DCHECK(g_current_setup_main_loop == this);
  if (g_current_setup_main_loop == this) g_current_setup_main_loop = nullptr;
  // Higher identifiers first; the UI loop last, after its entry is gone.
  dispatch_thread_.reset();
  file_thread_.reset();
  main_thread_.reset();
  main_message_loop_.reset();
}

void SetupMainLoop::InitMainThread() {
  if (!main_message_loop_ && !base::MessageLoop::current())
    main_message_loop_.reset(new base::MessageLoop(base::MessageLoop::TYPE_UI));
  base::MessageLoop* loop = base::MessageLoop::current();

  base::PlatformThread::SetName(kMainThreadName);
  loop->set_thread_name(kMainThreadName);

  main_thread_.reset(new SetupThreadImpl(loop->thread_name(), SetupThread::UI));
  main_thread_->set_message_loop(loop);
  main_thread_->Register();
}

bool SetupMainLoop::StartSubThreads() {
  for (int identifier = SetupThread::FILE; identifier <= SetupThread::DISPATCH; ++identifier) {
    base::ThreadSettings settings;
    settings.message_loop_type = identifier == SetupThread::FILE ? base::MessageLoop::TYPE_UI
                                                                 : base::MessageLoop::TYPE_DEFAULT;
    settings.stack_size = 0;
    std::unique_ptr<SetupProcessSubThread>& member =
        identifier == SetupThread::FILE ? file_thread_ : dispatch_thread_;
    member.reset();
    member.reset(new SetupProcessSubThread(
        identifier == SetupThread::FILE ? kFileThreadName : kDispatchThreadName, identifier));
    member->Register();
    if (!member->StartWithSettings(settings)) {
      LOG(ERROR) << "Starting " << member->thread_name() << " failed";
      return false;
    }
  }
  return true;
}

void SetupMainLoop::StopSubThreads() {
  // Higher identifiers first: the engine on Dispatch may still hand work to
  // File while it drains.
  dispatch_thread_.reset();
  file_thread_.reset();
}

}  // namespace setup
