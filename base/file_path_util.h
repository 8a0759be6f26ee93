#ifndef BASE_FILE_PATH_UTIL_H_
#define BASE_FILE_PATH_UTIL_H_

#include <string>

namespace base {

// Paths are UTF-16. Both "\" and "/" separate path components; joined paths
// use "\".
bool IsPathSeparator(wchar_t c);

// |path| without its trailing separators, except the one of a root ("C:\",
// or a lone leading "\").
std::wstring StripTrailingSeparators(const std::wstring& path);

// |base| and |relative| with one "\" between them. No separator is added
// when |base| is empty (the result is |relative|), is a root such as "C:\",
// or is a bare drive such as "C:". An empty |relative| gives |base| without
// its trailing separators.
std::wstring JoinPath(const std::wstring& base, const std::wstring& relative);

// Every "/" turned into "\", then the trailing separators removed as above.
std::wstring NormalizePath(const std::wstring& path);

// The folder that holds |path|: "C:\a" for "C:\a\b", "C:\" for "C:\a", the
// path itself for a root, "." for a bare relative name.
std::wstring GetParentPath(const std::wstring& path);

// The part after the last separator.
std::wstring GetFileName(const std::wstring& path);

// Creates |path| with every missing parent. True when |path| is a folder
// afterwards.
bool CreateDirectoryPath(const std::wstring& path);

// Deletes a file, or a folder: with |recursive| the folder and everything in
// it, without it only an empty folder. A path of 260 or more units is refused
// (false, nothing touched); a missing path counts as deleted. Failures are
// logged at ERROR ("DeleteFile failed with <n>", "SHFileOperation failed
// with <n>").
bool DeletePath(const std::wstring& path, bool recursive);

// Registers |path| for deletion at the next restart. A path of 260 or more
// units is refused.
bool ScheduleDeleteOnReboot(const std::wstring& path);

// One shell delete (SHFileOperationW FO_DELETE, no window) of |path| with
// FOF_NOERRORUI | FOF_NOCONFIRMATION | FOF_SILENT, and FOF_NORECURSION |
// FOF_FILESONLY too when |recursive| is false. Never pass a folder with
// |recursive| false: some shells ignore those flags on a named folder and
// delete the whole tree. Returns the shell's result; |aborted| receives
// fAnyOperationsAborted. |path| must be shorter than MAX_PATH.
int ShellDelete(const std::wstring& path, bool recursive, bool* aborted);

// Whether a shell delete's result means nothing is left at the path: 0, or
// the "not found" results 2 and 0x402.
bool ShellDeleteLeftNothing(int result);

}  // namespace base

#endif  // BASE_FILE_PATH_UTIL_H_
