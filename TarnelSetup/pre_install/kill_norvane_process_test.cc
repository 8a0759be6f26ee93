// The task runs in-process on the test's thread against real programs: copies
// of the sleeper under the maker's names, inside and outside an installation
// folder that the setup context names.
#include "TarnelSetup/pre_install/kill_norvane_process.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "TarnelSetup/setup_context.h"
#include "TarnelSetup/task_base.h"
#include "TarnelSetup/task_class_registry.h"
#include "gtest/gtest.h"
#include "tests/support/log_capture.h"
#include "tests/support/running_copies.h"

namespace {

struct Case {
  const char* name;
  const wchar_t* install_suffix;  // appended to the installation folder
  // Whether the programs that must lie inside the folder are terminated.
  bool inside_killed;
};

class KillNorvaneProcessTest : public testing::TestWithParam<Case> {};

TEST_P(KillNorvaneProcessTest, TerminatesTheMakersPrograms) {
  const Case& c = GetParam();
  RunningCopies copies;
  ASSERT_TRUE(copies.ok());
  const std::wstring install = copies.root() + L"\\Kivo";

  struct Sleeper {
    const wchar_t* relative;
    bool killed;
  } const sleepers[] = {
      {L"Kivo\\NvBugReport.exe", c.inside_killed},
      {L"Kivo\\bin\\KivoExternal.exe", c.inside_killed},
      {L"Kivo\\KIVOPLUS.EXE", c.inside_killed},
      {L"Elsewhere\\NvBugReport.exe", false},
      {L"Elsewhere\\KivoExternal.exe", false},
      {L"Elsewhere\\kivoplus.exe", false},
      {L"KivoOld\\NvBugReport.exe", false},
      {L"Kivo\\diverurudav.exe", true},
      {L"Elsewhere\\diverurudav.exe", true},
      {L"Elsewhere\\deeper\\DiveRurudavUpd.exe", true},
  };
  std::vector<int> started;
  for (const Sleeper& sleeper : sleepers) {
    const int index = copies.StartSleeper(sleeper.relative);
    ASSERT_GE(index, 0) << "could not start " << copies.root() << "\\" << sleeper.relative;
    started.push_back(index);
  }

  SetupContext::GetInstance()->SetWString("PreviousInstallPath", install + c.install_suffix);
  std::unique_ptr<task::TaskBase> task(
      task::TaskClassRegistry::Global().CreateTask("KillNorvaneProcess"));
  ASSERT_TRUE(task) << "KillNorvaneProcess is not registered";
  LogCapture capture;
  ASSERT_TRUE(capture.ok());
  task->Run(nullptr);
  EXPECT_EQ(std::vector<std::string>(), capture.Lines()) << "the task logs nothing";

  for (size_t i = 0; i < started.size(); ++i) {
    SCOPED_TRACE(sleepers[i].relative);
    DWORD code = 1;
    if (sleepers[i].killed) {
      EXPECT_TRUE(copies.Ended(started[i], 10000, &code)) << "still runs";
      EXPECT_EQ(0u, code);
    } else {
      EXPECT_FALSE(copies.Ended(started[i], 300, &code)) << "terminated, exit code " << code;
    }
  }
}

const Case kCases[] = {
    {"PlainFolder", L"", true},
    {"FolderEndingInDot", L"\\.", true},
    // The containment test then fails for everything: only the two
    // programs found by name die.
    {"TrailingBackslash", L"\\", false},
};

INSTANTIATE_TEST_SUITE_P(Folders, KillNorvaneProcessTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

// An empty folder must not stand for the current folder, which is where a
// user may well have started the uninstaller from.
TEST(KillNorvaneProcessEmptyPathTest, OnlyTheProtectionProgramsDie) {
  RunningCopies copies;
  ASSERT_TRUE(copies.ok());
  const int inside = copies.StartSleeper(L"Kivo\\NvBugReport.exe");
  const int protection = copies.StartSleeper(L"Kivo\\diverurudav.exe");
  ASSERT_GE(inside, 0);
  ASSERT_GE(protection, 0);
  wchar_t previous[MAX_PATH] = {};
  ASSERT_NE(0u, GetCurrentDirectoryW(MAX_PATH, previous));
  ASSERT_TRUE(SetCurrentDirectoryW(copies.root().c_str()));

  SetupContext::GetInstance()->SetWString("PreviousInstallPath", L"");
  std::unique_ptr<task::TaskBase> task(
      task::TaskClassRegistry::Global().CreateTask("KillNorvaneProcess"));
  ASSERT_TRUE(task);
  task->Run(nullptr);
  SetCurrentDirectoryW(previous);  // so that the copies' folder can go
  EXPECT_TRUE(copies.Ended(protection, 10000));
  EXPECT_FALSE(copies.Ended(inside, 300));
}

}  // namespace
