#ifndef TARNELSETUP_UNINSTALL_REMOVE_FILES_H_
#define TARNELSETUP_UNINSTALL_REMOVE_FILES_H_

#include <string>

// File and folder removal of the uninstall: objects that cannot go now are
// moved aside, under a free name, into the removal temp folder, and deleted
// there or at the next restart. All paths are UTF-16; a path of 260 or more
// units is never deleted or scheduled.
namespace uninstall {

// Deletes a file, or a folder (with |recursive| the whole tree, without it
// only an empty one). True when the object is gone; a missing path counts as
// gone. Logs at WARNING "DeleteFile( <path> ) failed with error : <n>",
// "SHFileOperation( <path> ) failed with error : <n>" and
// "fAnyOperationsAborted == true".
bool DeletePathLogged(const std::wstring& path, bool recursive);

// True when |folder| has no entries besides "." and "..", also when it
// cannot be enumerated.
bool IsFolderEmpty(const std::wstring& folder);

// Registers |path| for deletion at the next restart (base::ScheduleDeleteOnReboot)
// and, when that worked, remembers it as registered by this run.
bool ScheduleDeleteAtRestart(const std::wstring& path);

// Whether this run registered |path| for deletion at the next restart
// through ScheduleDeleteAtRestart (compared without regard to case, "/" and
// "\" alike, trailing separators ignored).
bool IsScheduledAtRestart(const std::wstring& path);

// Tests only: forgets every path ScheduleDeleteAtRestart remembered.
void ForgetScheduledAtRestart();

// One "File" entry: moves the file aside into |aside_folder| and deletes it
// there; when the move fails, deletes it in place; whatever cannot be
// deleted is registered for deletion at the next restart. A folder named by
// a File entry is only moved aside.
void RemoveListedFile(const std::wstring& path, const std::wstring& aside_folder);

// One "Dir" entry: an empty folder is moved aside and removed there, or
// removed in place when the move fails. A folder whose remaining entries
// were all registered for deletion at the next restart by this run is
// registered too, after them (one WARNING line). A folder holding anything
// else is left, silently. A file named by a Dir entry is moved aside.
void RemoveListedDir(const std::wstring& path, const std::wstring& aside_folder);

// (Documents)\"Norvane Files\Kivo\global\nt_data\MiniApp", recursively.
void RemoveMiniAppFolder();

// (AppData)\"Kivo\versions", recursively; stores AppData under
// "AppdataPath" in the setup context.
void RemoveAppDataVersions();

// (install directory)\|relative_path| ("resources\app\versions" or
// "versions"), recursively.
void RemoveInstallVersions(const std::wstring& relative_path);

}  // namespace uninstall

#endif  // TARNELSETUP_UNINSTALL_REMOVE_FILES_H_
