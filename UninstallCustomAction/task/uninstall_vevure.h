#ifndef UNINSTALLCUSTOMACTION_TASK_UNINSTALL_VEVURE_H_
#define UNINSTALLCUSTOMACTION_TASK_UNINSTALL_VEVURE_H_

#include <string>

#include "TarnelSetup/task_base.h"

namespace uninstall {

// Asks the maker's mini-downloader, a COM local server, to prepare its own
// uninstall: starts its executable with "/PrepareUninstall" and returns at
// once. Writes nothing into the setup context.
class UninstallVevuRe : public task::TaskBase {
 public:
  // ProgID under which the mini-downloader registers its class.
  static const wchar_t kProgId[];
  static const wchar_t kPrepareUninstallArgument[];

  void Run(task_object::RuntimeObject* object) override;
};

// The default value of the class's LocalServer32 key (at most 129
// characters), double quotes removed from its start and its end; empty when
// the ProgID, the key or the value is missing or the value is longer.
std::wstring GetVevuReServerPath();

}  // namespace uninstall

#endif  // UNINSTALLCUSTOMACTION_TASK_UNINSTALL_VEVURE_H_
