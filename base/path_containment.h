#ifndef BASE_PATH_CONTAINMENT_H_
#define BASE_PATH_CONTAINMENT_H_

#include <string>

namespace base {

// Whether |path| lies below |directory|. Both are made absolute first (the C
// run-time's full-path function, 260 characters at most; a failure gives
// false). True only when the absolute path is longer than the absolute
// directory, starts with it ignoring case, and has a backslash right after
// it. So a directory given with a trailing backslash ("C:\Kivo\") contains
// nothing, and "C:\Kivo" contains "C:\Kivo\" but not "C:\Kivo". An empty
// directory or path contains nothing (the full-path function would turn it
// into the current folder).
bool IsUnderDirectory(const std::wstring& directory, const std::wstring& path);

}  // namespace base

#endif  // BASE_PATH_CONTAINMENT_H_
