#ifndef TARNELSETUP_SETUP_ENVIRONMENT_H_
#define TARNELSETUP_SETUP_ENVIRONMENT_H_

namespace setup {

// Finds the roaming application-data folder, makes sure the maker's log
// folder and the uninstaller's temporary folder exist, and publishes
// "AppdataPath", "LogPath", "SetupTempPath" (with "HasCreateWindowsTemp" when
// the fallback folder in the Windows temporary folder was used) and
// "SystemPath" in the setup context. Called once per process, first thing.
void InitEnvironmentPaths();

// Opens "kivo_uninstall.log" in "LogPath" for appending, to the file and the
// debugger output under the named-mutex lock, with every line prefix item on.
void InitLogFile();

}  // namespace setup

#endif  // TARNELSETUP_SETUP_ENVIRONMENT_H_
