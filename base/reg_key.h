#ifndef BASE_REG_KEY_H_
#define BASE_REG_KEY_H_

#include <windows.h>

#include <string>

namespace base {

// Owns one open registry key and reads string values from it. Keys are
// opened in the view a 32-bit process gets by default (no KEY_WOW64_* flag
// is added). Closed by the destructor.
class RegKey {
 public:
  // The most raw data a string value may hold.
  static const DWORD kMaxValueBytes = 2048;
  // The most characters (the terminator included) an expanded value may have.
  static const DWORD kMaxExpandedChars = 1024;

  RegKey() = default;
  ~RegKey();

  // Opens |root|\|subkey| with |access|, closing a key held before. Returns
  // the system's result (ERROR_SUCCESS when the key is open).
  LONG Open(HKEY root, const wchar_t* subkey, REGSAM access);
  void Close();
  bool Valid() const { return key_ != nullptr; }
  HKEY Handle() const { return key_; }

  // Reads the string value |name| into |out|: REG_SZ as stored (up to its
  // first terminator), REG_EXPAND_SZ with its environment variables
  // expanded. A value of any other type fails with ERROR_CANTREAD, raw data
  // over kMaxValueBytes with ERROR_MORE_DATA, an expansion longer than
  // kMaxExpandedChars with ERROR_MORE_DATA. |out| is changed only on success.
  LONG ReadValue(const wchar_t* name, std::wstring* out) const;

 private:
  HKEY key_ = nullptr;

  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
};

}  // namespace base

#endif  // BASE_REG_KEY_H_
