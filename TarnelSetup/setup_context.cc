#include "TarnelSetup/setup_context.h"

#include <windows.h>

#include <atomic>

#include "base/at_exit.h"
#include "base/auto_lock.h"
#include "base/logging.h"
#include "base/name_hash.h"
#include "base/utf_string_conversions.h"

namespace {

// 0: not created, 1: being created, else the store's address.
const uintptr_t kNotCreated = 0;
const uintptr_t kBeingCreated = 1;
std::atomic<uintptr_t> g_setup_context_instance{kNotCreated};

template <typename Table, typename Value>
bool SetValue(Table* table, const std::string& key, const Value& value) {
  const uint32_t hash = base::NameHash(key);
  auto found = table->find(hash);
  if (found != table->end()) {
    found->second = value;
    return false;
  }
  table->emplace(hash, value);
  return true;
}

template <typename Table, typename Value>
bool GetValue(const Table& table, const std::string& key, Value* value) {
  auto found = table.find(base::NameHash(key));
  if (found == table.end()) return false;
  *value = found->second;
  return true;
}

}  // namespace

// static
SetupContext* SetupContext::GetInstance() {
  for (;;) {
    uintptr_t value = g_setup_context_instance.load(std::memory_order_acquire);
    if (value != kNotCreated && value != kBeingCreated)
      return reinterpret_cast<SetupContext*>(value);
    if (value == kNotCreated) {
      uintptr_t expected = kNotCreated;
      if (g_setup_context_instance.compare_exchange_strong(expected, kBeingCreated,
                                                           std::memory_order_acq_rel)) {
        SetupContext* instance = new SetupContext();
        g_setup_context_instance.store(reinterpret_cast<uintptr_t>(instance),
                                       std::memory_order_release);
        base::AtExitManager::RegisterCallback(&SetupContext::DestroyInstance, nullptr);
        return instance;
      }
    }
    // Another thread is creating the store.
    Sleep(0);
  }
}

// static
void SetupContext::DestroyInstance(void* /*unused*/) {
  uintptr_t value = g_setup_context_instance.exchange(kNotCreated, std::memory_order_acq_rel);
  if (value != kNotCreated && value != kBeingCreated) delete reinterpret_cast<SetupContext*>(value);
}

SetupContext::SetupContext() = default;

SetupContext::~SetupContext() = default;

bool SetupContext::SetString(const std::string& key, const std::string& value) {
  base::AutoLock hold(lock_);
  return SetValue(&string_values_, key, value);
}

bool SetupContext::GetString(const std::string& key, std::string* vaule) {
  DCHECK(vaule);
  if (!vaule) return false;
  base::AutoLock hold(lock_);
  return GetValue(string_values_, key, vaule);
}

bool SetupContext::SetWString(const std::string& key, const std::wstring& value) {
  return SetString(key, base::WideToUTF8(value));
}

bool SetupContext::GetWString(const std::string& key, std::wstring* value) {
  if (!value) return false;
  std::string utf8;
  bool present = GetString(key, &utf8);
  *value = base::UTF8ToWide(utf8);
  return present;
}

bool SetupContext::SetInt(const std::string& key, int32_t value) {
  base::AutoLock hold(lock_);
  return SetValue(&int_values_, key, value);
}

bool SetupContext::GetInt(const std::string& key, int32_t* vaule) {
  DCHECK(vaule);
  if (!vaule) return false;
  base::AutoLock hold(lock_);
  return GetValue(int_values_, key, vaule);
}
