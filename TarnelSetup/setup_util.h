#ifndef TARNELSETUP_SETUP_UTIL_H_
#define TARNELSETUP_SETUP_UTIL_H_

#include <string>

namespace setup {

// Makes a new, empty folder (temporary folder)\kivo_setup_<n>, n from 0 to
// 32766, skipping names that exist; gives up after 50 tries. On success
// |out| names the folder.
bool MakeUniqueTempDir(std::wstring* out);

// Makes a new, empty folder named |prefix| followed by a number from 0 to
// 32766 directly in the temporary folder; gives up after 50 tries. On success
// |out| holds the folder's long-name form.
bool MakeTempDirWithPrefix(const std::wstring& prefix, std::wstring* out);

}  // namespace setup

#endif  // TARNELSETUP_SETUP_UTIL_H_
