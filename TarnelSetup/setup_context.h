#ifndef TARNELSETUP_SETUP_CONTEXT_H_
#define TARNELSETUP_SETUP_CONTEXT_H_

#include <stdint.h>

#include <map>
#include <string>

#include "base/lock.h"

// The process-wide store of named values through which the parts of the
// uninstaller pass results to each other. Two separate tables, byte strings
// and 32-bit integers, keyed by the name hash of the key; the key text is not
// kept, so keys with equal hashes are one entry. Wide values are held as
// UTF-8. Created on first use, destroyed by the AtExitManager.
class SetupContext {
 public:
  static SetupContext* GetInstance();

  // Each Set returns true when the key was new, false when a value was
  // replaced.
  bool SetString(const std::string& key, const std::string& value);
  // False, and |vaule| untouched, when the key is absent.
  bool GetString(const std::string& key, std::string* vaule);

  bool SetWString(const std::string& key, const std::wstring& value);
  // Always assigns |value|: the stored text as UTF-16, or empty when absent.
  bool GetWString(const std::string& key, std::wstring* value);

  bool SetInt(const std::string& key, int32_t value);
  // False, and |vaule| untouched, when the key is absent.
  bool GetInt(const std::string& key, int32_t* vaule);

 private:
  SetupContext();
  ~SetupContext();
  static void DestroyInstance(void* unused);

  // The engine runs one task at a time; the lock keeps a graph that runs two
  // at once from tearing the tables.
  base::Lock lock_;
  std::map<uint32_t, std::string> string_values_;
  std::map<uint32_t, int32_t> int_values_;

  SetupContext(const SetupContext&) = delete;
  SetupContext& operator=(const SetupContext&) = delete;
};

#endif  // TARNELSETUP_SETUP_CONTEXT_H_
