#ifndef TARNELSETUP_SETUP_PROCESS_SUB_THREAD_H_
#define TARNELSETUP_SETUP_PROCESS_SUB_THREAD_H_

#include <string>

#include "TarnelSetup/setup_thread_impl.h"

namespace setup {

// The File and Dispatch threads: setup threads that are single-threaded COM
// apartments for as long as their loop runs.
class SetupProcessSubThread : public SetupThreadImpl {
 public:
  SetupProcessSubThread(const std::string& name, int identifier);
  // Stops the thread while Init/AfterLoop below still exist.
  ~SetupProcessSubThread() override;

 protected:
  // CoInitialize(NULL) on the new thread, before the starter goes on.
  void Init() override;
  // CoUninitialize once the loop has ended.
  void AfterLoop() override;

 private:
  bool com_initialized_ = false;
};

}  // namespace setup

#endif  // TARNELSETUP_SETUP_PROCESS_SUB_THREAD_H_
