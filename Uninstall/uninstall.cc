// Entry of the uninstaller. Started without "--temp" it relaunches itself
// from a temporary copy; with "--temp" it runs the task graph.
#include <windows.h>
#include <objbase.h>

#include <memory>

#include "TarnelSetup/setup_context.h"
#include "TarnelSetup/setup_environment.h"
#include "TarnelSetup/setup_main_loop.h"
#include "TarnelSetup/task_base.h"
#include "TarnelSetup/task_dispatcher.h"
#include "TarnelSetup/temp_copy_launcher.h"
#include "Uninstall/uninstall_main_runner.h"
#include "base/at_exit.h"
#include "base/command_line.h"
#include "base/logging.h"
#include "base/message_loop.h"

namespace {

const WORD kTaskGraphResourceId = 4000;
const wchar_t kTaskGraphResourceType[] = L"XML";
// Bounded: a task still blocked when the loop quits must not hold the exit.
const unsigned long kEndStepWaitMs = 5000;

// COM on the main thread for the runner's lifetime.
class ScopedComInitializer {
 public:
  ScopedComInitializer() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ScopedComInitializer() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }

 private:
  HRESULT hr_;
  ScopedComInitializer(const ScopedComInitializer&) = delete;
  ScopedComInitializer& operator=(const ScopedComInitializer&) = delete;
};

class UninstallMainRunnerImpl : public setup::UninstallMainRunner {
 public:
  UninstallMainRunnerImpl() = default;
  ~UninstallMainRunnerImpl() override {
    if (is_initialized_ && !is_shutdown_) Shutdown();
  }

  int Init(const setup::SetupMainParams& params) override {
    is_initialized_ = true;
    main_loop_.reset(new setup::SetupMainLoop(params));
    main_loop_->InitMainThread();
    com_.reset(new ScopedComInitializer());
    bool started = main_loop_->StartSubThreads();
    threads_created_ = true;
    if (!started) {
      // Without its threads the graph could never end; give up at once.
      LOG(ERROR) << "StartSubThreads failed";
      return 1;
    }
    int32_t module = 0;
    SetupContext::GetInstance()->GetInt("UninstallModuleHandle", &module);
    bool loaded = task::TaskDispatcher::GetInstance()->Init2(
        reinterpret_cast<HMODULE>(static_cast<intptr_t>(module)), kTaskGraphResourceId,
        kTaskGraphResourceType);
    return loaded ? -1 : 1;
  }

  int Run() override {
    base::MessageLoop* loop = base::MessageLoop::current();
    DCHECK(loop && loop->type() == base::MessageLoop::TYPE_UI);
    if (loop) loop->Run();
    return 0;
  }

  void Shutdown() override {
    if (threads_created_) {
      // The exit task's end step may still be on its way to Dispatch.
      task::TaskBase::WaitForEndSteps(kEndStepWaitMs);
      main_loop_->StopSubThreads();
    }
    com_.reset();
    main_loop_.reset();
    is_shutdown_ = true;
  }

 private:
  bool is_initialized_ = false;
  bool is_shutdown_ = false;
  bool threads_created_ = false;
  std::unique_ptr<setup::SetupMainLoop> main_loop_;
  std::unique_ptr<ScopedComInitializer> com_;
};

// The worker runs elevated from a folder under the user's temporary folder:
// DLLs load from the system folder only, never from beside the exe.
void RestrictDllSearchToSystem32() {
  typedef BOOL(WINAPI * SetDefaultDllDirectoriesFunc)(DWORD);
  HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
  auto set_default = reinterpret_cast<SetDefaultDllDirectoriesFunc>(
      kernel32 ? GetProcAddress(kernel32, "SetDefaultDllDirectories") : nullptr);
  if (set_default) set_default(LOAD_LIBRARY_SEARCH_SYSTEM32);
  SetDllDirectoryW(L"");
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  RestrictDllSearchToSystem32();
  int exit_code = 0;
  {
    base::AtExitManager exit_manager;
    if (!base::CommandLine::ForCurrentProcess()) base::CommandLine::Init();
    setup::InitEnvironmentPaths();
    setup::InitLogFile();
    LOG(INFO) << "kivo_uninstall: " << GetCommandLineW();
    const base::CommandLine* command_line = base::CommandLine::ForCurrentProcess();
    if (!command_line->SwitchPresent("temp")) {
      exit_code = setup::LaunchTempCopy();
    } else {
      SetupContext::GetInstance()->SetInt(
          "UninstallModuleHandle", static_cast<int32_t>(reinterpret_cast<intptr_t>(instance)));
      setup::SetupMainParams params;
      params.command_line = command_line;
      std::unique_ptr<setup::UninstallMainRunner> runner(new UninstallMainRunnerImpl());
      exit_code = runner->Init(params);
      if (exit_code < 0) {
        exit_code = runner->Run();
        runner->Shutdown();
      }
    }
  }
  return exit_code;
}
