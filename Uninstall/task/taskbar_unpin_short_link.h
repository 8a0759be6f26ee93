#ifndef UNINSTALL_TASK_TASKBAR_UNPIN_SHORT_LINK_H_
#define UNINSTALL_TASK_TASKBAR_UNPIN_SHORT_LINK_H_

#include <windows.h>

#include <string>

#include "TarnelSetup/task_base.h"

namespace uninstall {

// Unpins the product from the taskbar and the Start menu, so that no dead
// pins remain once its files are gone. The shell keeps one shortcut per pin
// in two folders of the user's profile; every shortcut there whose target
// lies inside "PreviousInstallPath" is handed to the shell's pin list. Does
// nothing before Windows Vista, which has no such pins. Logs nothing and
// stores nothing: every failure just skips a shortcut.
class TaskbarUnpinShortLink : public task::TaskBase {
 public:
  // The pin folders below the roaming application-data folder, in the order
  // in which they are handled.
  static const wchar_t* const kPinFolders[2];

  void Run(task_object::RuntimeObject* object) override;
};

// Asks the shell's Start-menu pin list to remove |shortcut_path| from the
// Start menu and the taskbar. Initialises COM (single-threaded apartment) on
// the calling thread for the call and balances that again. Returns the last
// result of the sequence: the failure that stopped it, or RemoveFromList's.
HRESULT UnpinShortcut(const std::wstring& shortcut_path);

}  // namespace uninstall

#endif  // UNINSTALL_TASK_TASKBAR_UNPIN_SHORT_LINK_H_
