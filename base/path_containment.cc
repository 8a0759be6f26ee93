#include "base/path_containment.h"

#include <windows.h>

#include <stdlib.h>
#include <wctype.h>

namespace base {

namespace {

bool MakeAbsolute(const std::wstring& path, std::wstring* out) {
  if (path.empty()) return false;
  wchar_t buffer[MAX_PATH];
  if (!_wfullpath(buffer, path.c_str(), MAX_PATH)) return false;
  out->assign(buffer);
  return true;
}

}  // namespace

bool IsUnderDirectory(const std::wstring& directory, const std::wstring& path) {
  std::wstring absolute_directory, absolute_path;
  if (!MakeAbsolute(directory, &absolute_directory) || !MakeAbsolute(path, &absolute_path)) {
    return false;
  }
  const size_t length = absolute_directory.size();
  if (absolute_path.size() <= length) return false;
  for (size_t i = 0; i < length; ++i) {
    if (towlower(absolute_path[i]) != towlower(absolute_directory[i])) return false;
  }
  return absolute_path[length] == L'\\';
}

}  // namespace base
