#ifndef TARNELSETUP_SETUP_MAIN_LOOP_H_
#define TARNELSETUP_SETUP_MAIN_LOOP_H_

#include <memory>

namespace base {
class CommandLine;
class MessageLoop;
}  // namespace base

namespace setup {

class SetupProcessSubThread;
class SetupThreadImpl;

// What the main runner hands to the main loop: the process command line.
struct SetupMainParams {
  const base::CommandLine* command_line = nullptr;
};

// Creates and stops the setup threads. Used on the process's first thread,
// in this order: InitMainThread, StartSubThreads, (the UI loop runs),
// StopSubThreads, delete.
class SetupMainLoop {
 public:
  // Keeps |params| (which must outlive this object) and becomes
  // g_current_setup_main_loop.
  explicit SetupMainLoop(const SetupMainParams& params);
  // Clears g_current_setup_main_loop; deletes Dispatch and File (if still
  // there), then the UI thread's entry, then the UI loop, whose remaining
  // tasks are destroyed unrun.
  virtual ~SetupMainLoop();

  // Gives the calling thread a TYPE_UI loop (unless it has one), names it
  // "Setup_Main" and registers it as SetupThread::UI.
  void InitMainThread();
  // Starts File (TYPE_UI loop) and then Dispatch (TYPE_DEFAULT loop), each
  // a COM apartment; each start returns once the thread's loop runs.
  // Returns false, leaving the rest unstarted, when a thread could not be
  // started.
  bool StartSubThreads();
  // Stops Dispatch, then File; each finishes its queued immediate tasks
  // first. Afterwards posts to them return false.
  void StopSubThreads();

  // The UI loop made by InitMainThread, or null.
  base::MessageLoop* main_message_loop() const { return main_message_loop_.get(); }

 private:
  const SetupMainParams* parameters_;
  const base::CommandLine* parsed_command_line_;
  std::unique_ptr<base::MessageLoop> main_message_loop_;
  std::unique_ptr<SetupThreadImpl> main_thread_;
  std::unique_ptr<SetupProcessSubThread> file_thread_;
  std::unique_ptr<SetupProcessSubThread> dispatch_thread_;

  SetupMainLoop(const SetupMainLoop&) = delete;
  SetupMainLoop& operator=(const SetupMainLoop&) = delete;
};

// The one live SetupMainLoop, or null.
extern SetupMainLoop* g_current_setup_main_loop;

}  // namespace setup

#endif  // TARNELSETUP_SETUP_MAIN_LOOP_H_
