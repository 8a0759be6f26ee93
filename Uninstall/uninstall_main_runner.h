#ifndef UNINSTALL_UNINSTALL_MAIN_RUNNER_H_
#define UNINSTALL_UNINSTALL_MAIN_RUNNER_H_

namespace setup {

struct SetupMainParams;

// Drives the worker process: Init builds the threads and loads the task
// graph, Run runs the UI loop while the uninstall happens, Shutdown stops
// everything again.
class UninstallMainRunner {
 public:
  virtual ~UninstallMainRunner() = default;
  // Negative: initialised, Run follows. 1: exit with 1 at once.
  virtual int Init(const SetupMainParams& params) = 0;
  // Runs the UI thread's loop until it quits; returns the exit code.
  virtual int Run() = 0;
  virtual void Shutdown() = 0;
};

}  // namespace setup

#endif  // UNINSTALL_UNINSTALL_MAIN_RUNNER_H_
