#ifndef TARNELSETUP_TEMP_COPY_LAUNCHER_H_
#define TARNELSETUP_TEMP_COPY_LAUNCHER_H_

#include <string>

#include "base/command_line.h"

namespace setup {

// The line that starts the working copy: |copy_path| as the program and the
// one switch "--temp"; nothing of the launcher's own line is passed on.
base::CommandLine GetTempCopyCommandLine(const std::wstring& copy_path);

// Copies |exe_path| into a new folder made by MakeUniqueTempDir, under the
// same file name, and starts the copy with "--temp" without waiting for it.
// Returns the launcher's exit code: 0 when the copy was started, 1 otherwise
// (no folder, a path of 260 units or more, a failed copy or start). Shows and
// logs nothing; a folder made before a failure stays.
int LaunchTempCopyOf(const std::wstring& exe_path);

// Launcher mode of the entry: LaunchTempCopyOf the running executable.
int LaunchTempCopy();

}  // namespace setup

#endif  // TARNELSETUP_TEMP_COPY_LAUNCHER_H_
