#include "TarnelSetup/util/process/kill_process.h"

#include <windows.h>

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/support/running_copies.h"

namespace {

// Names of this test's own: the maker's names belong to the task's test,
// which may run at the same time in the same prefix.
const wchar_t kName[] = L"kivo_kill_probe.exe";

const DWORD kKillWaitMs = 10000;
const DWORD kSurviveWaitMs = 300;

struct Sleeper {
  const char* what;
  const wchar_t* relative;
  bool killed;
};

// Starts every sleeper, runs |kill| once (its answer must be |answer|), then
// checks who was terminated (exit code 0) and who still runs.
template <typename Kill>
void ExpectKilled(RunningCopies* copies, const std::vector<Sleeper>& sleepers, Kill kill,
                  bool answer) {
  std::vector<int> started;
  for (const Sleeper& sleeper : sleepers) {
    const int index = copies->StartSleeper(sleeper.relative);
    ASSERT_GE(index, 0) << sleeper.what;
    started.push_back(index);
  }
  EXPECT_EQ(answer, kill());
  for (size_t i = 0; i < sleepers.size(); ++i) {
    SCOPED_TRACE(sleepers[i].what);
    DWORD code = 1;
    if (sleepers[i].killed) {
      EXPECT_TRUE(copies->Ended(started[i], kKillWaitMs, &code)) << "still runs";
      EXPECT_EQ(0u, code);
    } else {
      EXPECT_FALSE(copies->Ended(started[i], kSurviveWaitMs, &code)) << "terminated";
    }
  }
}

TEST(KillProcessesByNameTest, EndsTheNamedProgramWherever) {
  RunningCopies copies;
  ASSERT_TRUE(copies.ok());
  const std::vector<Sleeper> sleepers = {
      {"in one folder", L"a\\kivo_kill_probe.exe", true},
      {"in another folder", L"b\\deeper\\kivo_kill_probe.exe", true},
      {"name in other case", L"c\\KIVO_KILL_PROBE.EXE", true},
      {"longer name", L"d\\kivo_kill_probe2.exe", false},
      {"other name", L"e\\kivo_other_probe.exe", false},
  };
  ExpectKilled(
      &copies, sleepers, [] { return setup::KillProcessesByName(kName); }, true);
  EXPECT_FALSE(setup::KillProcessesByName(kName)) << "nothing was left to terminate";
}

// Started through its short name, a program is still found by its
// executable's long name. (Wine 8 reports the long name for such a process
// anyway; on Windows the listed and module names can be the short ones.)
TEST(KillProcessesByNameTest, FindsAProgramStartedThroughItsShortName) {
  RunningCopies copies;
  ASSERT_TRUE(copies.ok());
  const std::wstring exe = copies.Copy(L"sleeper", L"short\\kivo_kill_probe.exe");
  ASSERT_FALSE(exe.empty());
  wchar_t short_path[MAX_PATH] = {};
  const DWORD length = GetShortPathNameW(exe.c_str(), short_path, MAX_PATH);
  ASSERT_TRUE(length > 0 && length < MAX_PATH) << "error " << GetLastError();
  ASSERT_NE(exe, std::wstring(short_path)) << "no short name on this file system";
  const int index = copies.Start(short_path, {}, true);
  ASSERT_GE(index, 0);

  EXPECT_TRUE(setup::KillProcessesByName(kName));
  DWORD code = 1;
  EXPECT_TRUE(copies.Ended(index, kKillWaitMs, &code));
  EXPECT_EQ(0u, code);
}

TEST(KillProcessesUnderDirTest, EndsOnlyTheNamedProgramInsideTheFolder) {
  RunningCopies copies;
  ASSERT_TRUE(copies.ok());
  const std::wstring install = copies.root() + L"\\Install";
  const std::vector<Sleeper> sleepers = {
      {"directly inside", L"Install\\kivo_kill_probe.exe", true},
      {"in a subfolder", L"Install\\bin\\x\\kivo_kill_probe.exe", true},
      {"other name inside", L"Install\\kivo_other_probe.exe", false},
      {"outside", L"Outside\\kivo_kill_probe.exe", false},
      {"folder whose name starts alike", L"InstallOld\\kivo_kill_probe.exe", false},
  };
  ExpectKilled(
      &copies, sleepers, [&] { return setup::KillProcessesUnderDir(kName, install); }, true);
}

TEST(KillProcessesUnderDirTest, FolderWithTrailingBackslashContainsNothing) {
  RunningCopies copies;
  ASSERT_TRUE(copies.ok());
  const std::wstring install = copies.root() + L"\\Install\\";
  const std::vector<Sleeper> sleepers = {
      {"directly inside", L"Install\\kivo_kill_probe.exe", false},
      {"in a subfolder", L"Install\\bin\\kivo_kill_probe.exe", false},
  };
  ExpectKilled(
      &copies, sleepers, [&] { return setup::KillProcessesUnderDir(kName, install); }, false);
}

}  // namespace
