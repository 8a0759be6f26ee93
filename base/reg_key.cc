#include "base/reg_key.h"

#include <windows.h>

namespace base {

RegKey::~RegKey() { Close(); }

LONG RegKey::Open(HKEY root, const wchar_t* subkey, REGSAM access) {
  Close();
  HKEY key = nullptr;
  const LONG result = RegOpenKeyExW(root, subkey, 0, access, &key);
  if (result == ERROR_SUCCESS) key_ = key;
  return result;
}

void RegKey::Close() {
  if (key_) RegCloseKey(key_);
  key_ = nullptr;
}

LONG RegKey::ReadValue(const wchar_t* name, std::wstring* out) const {
  if (!key_) return ERROR_INVALID_HANDLE;
  // One unit more than the largest value, always zero: stored strings need
  // not end in a terminator, and a full buffer must still read as a string.
  wchar_t raw[kMaxValueBytes / sizeof(wchar_t) + 1] = {};
  DWORD type = REG_NONE;
  DWORD size = kMaxValueBytes;
  const LONG result =
      RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(raw), &size);
  if (result != ERROR_SUCCESS) return result;
  if (type == REG_SZ) {
    // A stray odd byte at the end is no part of a character.
    const size_t units = size / sizeof(wchar_t);
    size_t length = 0;
    while (length < units && raw[length] != L'\0') ++length;
    out->assign(raw, length);
    return ERROR_SUCCESS;
  }
  if (type == REG_EXPAND_SZ) {
    wchar_t expanded[kMaxExpandedChars];
    const DWORD needed = ExpandEnvironmentStringsW(raw, expanded, kMaxExpandedChars);
    if (needed == 0 || needed > kMaxExpandedChars) return ERROR_MORE_DATA;
    out->assign(expanded);
    return ERROR_SUCCESS;
  }
  return ERROR_CANTREAD;
}

}  // namespace base
