#include "TarnelSetup/setup_thread_table.h"

#include <windows.h>

#include <atomic>
#include <cstdint>

namespace setup {

namespace {

// 0: not created; 1: being created; otherwise the table's address.
std::atomic<intptr_t> g_setup_thread_table{0};

}  // namespace

SetupThreadTable::SetupThreadTable() : lock_(base::Lock::kDefaultSpinCount) {
  for (int i = 0; i < SetupThread::ID_COUNT; ++i) threads_[i] = nullptr;
}

// static
SetupThreadTable* SetupThreadTable::Get() {
  intptr_t expected = 0;
  if (g_setup_thread_table.compare_exchange_strong(expected, 1, std::memory_order_acq_rel)) {
    SetupThreadTable* table = new SetupThreadTable();
    g_setup_thread_table.store(reinterpret_cast<intptr_t>(table), std::memory_order_release);
    return table;
  }
  intptr_t value;
  // Another thread is building it; it is quick.
  while ((value = g_setup_thread_table.load(std::memory_order_acquire)) == 1) Sleep(0);
  return reinterpret_cast<SetupThreadTable*>(value);
}

// static
SetupThreadTable* SetupThreadTable::GetIfCreated() {
  intptr_t value = g_setup_thread_table.load(std::memory_order_acquire);
  if (value == 0) return nullptr;
  return Get();
}

}  // namespace setup
