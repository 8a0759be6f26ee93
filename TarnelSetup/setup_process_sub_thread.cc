#include "TarnelSetup/setup_process_sub_thread.h"

#include <windows.h>

#include <objbase.h>

namespace setup {

SetupProcessSubThread::SetupProcessSubThread(const std::string& name, int identifier)
    : SetupThreadImpl(name, identifier) {}

SetupProcessSubThread::~SetupProcessSubThread() { Stop(); }

void SetupProcessSubThread::Init() {
  // A failure is not fatal: the thread runs without an apartment.
  com_initialized_ = SUCCEEDED(CoInitialize(NULL));
}

void SetupProcessSubThread::AfterLoop() {
  // Only a successful CoInitialize is balanced.
  if (com_initialized_) CoUninitialize();
  com_initialized_ = false;
}

}  // namespace setup
