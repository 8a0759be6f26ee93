#ifndef TARNELSETUP_UTIL_PROCESS_CHECK_PROCESS_H_
#define TARNELSETUP_UTIL_PROCESS_CHECK_PROCESS_H_

#include <windows.h>

#include <vector>

namespace setup {

// The product's main program, as the process list names it.
extern const wchar_t kKivoExeName[];  // "Kivo.exe"
// The maker, as the product's version information names it.
extern const wchar_t kNorvaneCompanyName[];  // "Norvane"

// Fills |pids| with the running "Kivo.exe" processes of the maker, in
// process-list order, leaving out |excluded_pid|. A process counts unless it
// cannot be opened or its file names another company; when its image path
// or version information cannot be read it counts (each such doubt writes an
// ERROR line). False, with |pids| empty, when the process list cannot be
// read.
bool FindKivoProcesses(DWORD excluded_pid, std::vector<DWORD>* pids);

}  // namespace setup

#endif  // TARNELSETUP_UTIL_PROCESS_CHECK_PROCESS_H_
