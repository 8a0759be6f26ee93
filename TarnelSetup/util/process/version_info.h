#ifndef TARNELSETUP_UTIL_PROCESS_VERSION_INFO_H_
#define TARNELSETUP_UTIL_PROCESS_VERSION_INFO_H_

#include <string>

namespace setup {

// Reads the string |name| ("CompanyName", "ProductName", ...) from the
// version information of |file|, through the file's first translation
// (\StringFileInfo\<language><code page>\<name>). False when the file has no
// version information, no translation, no such value, or a value longer than
// 260 characters with its terminator; |value| is then left as it was.
// version.dll is loaded from the system folder for the call.
bool GetVerInfoString(const std::wstring& file, const std::wstring& name, std::wstring* value);

}  // namespace setup

#endif  // TARNELSETUP_UTIL_PROCESS_VERSION_INFO_H_
