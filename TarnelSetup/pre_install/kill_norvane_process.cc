#include "TarnelSetup/pre_install/kill_norvane_process.h"

#include <string>

#include "TarnelSetup/setup_context.h"
#include "TarnelSetup/task_class_registry.h"
#include "TarnelSetup/util/process/kill_process.h"

REGISTER_TASK_CLASS(pre_install::KillNorvaneProcess, "KillNorvaneProcess");

namespace pre_install {

namespace {

enum class Scope { kUnderInstallDir, kAnywhere };

struct NorvaneProgram {
  const wchar_t* exe_name;
  Scope scope;
};

// In the order they are handled.
// clang-format off
const NorvaneProgram kPrograms[] = {
    {L"NvBugReport.exe", Scope::kUnderInstallDir},
    {L"KivoExternal.exe", Scope::kUnderInstallDir},
    {L"diverurudav.exe", Scope::kAnywhere},
    {L"DiveRurudavUpd.exe", Scope::kAnywhere},
    {L"kivoplus.exe", Scope::kUnderInstallDir},
};
// clang-format on

}  // namespace

void KillNorvaneProcess::Run(task_object::RuntimeObject* /*object*/) {
  // Absent gives an empty folder, which contains nothing: only the
  // protection programs are then terminated.
  std::wstring install_dir;
  SetupContext::GetInstance()->GetWString("PreviousInstallPath", &install_dir);
  for (const NorvaneProgram& program : kPrograms) {
    if (program.scope == Scope::kAnywhere) {
      setup::KillProcessesByName(program.exe_name);
    } else {
      setup::KillProcessesUnderDir(program.exe_name, install_dir);
    }
  }
}

}  // namespace pre_install
