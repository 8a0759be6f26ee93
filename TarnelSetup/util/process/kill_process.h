#ifndef TARNELSETUP_UTIL_PROCESS_KILL_PROCESS_H_
#define TARNELSETUP_UTIL_PROCESS_KILL_PROCESS_H_

#include <string>

namespace setup {

// Terminates (exit code 0) every process whose executable file, in its long
// form, is called |exe_name| (ignoring case), wherever it lies. Does not wait
// for them to end. True when at least one was terminated.
bool KillProcessesByName(const std::wstring& exe_name);

// Terminates (exit code 0) every process listed as |exe_name| (ignoring case)
// whose executable lies under |directory| (base::IsUnderDirectory). Does not
// wait for them to end. True when at least one was terminated.
bool KillProcessesUnderDir(const std::wstring& exe_name, const std::wstring& directory);

}  // namespace setup

#endif  // TARNELSETUP_UTIL_PROCESS_KILL_PROCESS_H_
