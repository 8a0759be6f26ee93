#include "TarnelSetup/util/process/check_process.h"

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/file_path_util.h"
#include "base/utf_string_conversions.h"
#include "gtest/gtest.h"
#include "tests/support/log_capture.h"
#include "tests/support/running_copies.h"
#include "tests/support/test_paths.h"

namespace {

typedef std::vector<std::string> Lines;

std::vector<DWORD> Sorted(std::vector<DWORD> pids) {
  std::sort(pids.begin(), pids.end());
  return pids;
}

Lines Sorted(Lines lines) {
  std::sort(lines.begin(), lines.end());
  return lines;
}

// Copies fake_kivo to |relative| with the company set (nullptr: as built,
// "Norvane"; L"--none": no version information at all).
std::wstring KivoCopy(RunningCopies* copies, const std::wstring& relative, const wchar_t* company) {
  const std::wstring exe = copies->Copy(L"fake_kivo", relative);
  if (exe.empty() || !company) return exe;
  const int writer =
      copies->Start(base::JoinPath(test_paths::kToolsDir, L"set_company.exe"), {exe, company});
  DWORD code = 1;
  if (!copies->Ended(writer, 30000, &code) || code != 0) return std::wstring();
  return exe;
}

std::string DeviceForm(DWORD pid) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  wchar_t image[MAX_PATH] = {};
  if (process) {
    K32GetProcessImageFileNameW(process, image, MAX_PATH);
    CloseHandle(process);
  }
  return base::WideToUTF8(image);
}

// These searches see the whole prefix: no other test of the build may run a
// "Kivo.exe" of its own.
//
// One machine state with every kind of "Kivo.exe" at once; one search must
// pick exactly the maker's, and say why it left out or doubted the others.
TEST(FindKivoProcessesTest, CountsTheMakersKivoAndEveryDoubt) {
  RunningCopies copies;
  ASSERT_TRUE(copies.ok());
  struct Program {
    const char* what;
    const wchar_t* relative;
    const wchar_t* company;
    bool counted;
  } const kPrograms[] = {
      {"the maker's", L"norvane\\Kivo.exe", nullptr, true},
      {"company in other case", L"upper\\Kivo.exe", L"NORVANE", true},
      {"listed name in other case", L"case\\KIVO.EXE", nullptr, true},
      {"no version information", L"bare\\Kivo.exe", L"--none", true},
      {"another company", L"other\\Kivo.exe", L"Other Corp", false},
      {"company with a longer name", L"longer\\Kivo.exe", L"Norvane Ltd", false},
      {"another program name", L"renamed\\Kivo2.exe", nullptr, false},
      {"the excluded process", L"excluded\\Kivo.exe", nullptr, false},
  };
  std::vector<DWORD> expected;
  DWORD excluded = 0, bare = 0;
  for (const Program& program : kPrograms) {
    SCOPED_TRACE(program.what);
    const std::wstring exe = KivoCopy(&copies, program.relative, program.company);
    ASSERT_FALSE(exe.empty());
    const int index = copies.Start(exe);
    ASSERT_GE(index, 0);
    if (program.counted) expected.push_back(copies.pid(index));
    if (std::wstring(program.relative).find(L"excluded") == 0) excluded = copies.pid(index);
    if (std::wstring(program.relative).find(L"bare") == 0) bare = copies.pid(index);
  }

  LogCapture capture;
  ASSERT_TRUE(capture.ok());
  std::vector<DWORD> found;
  EXPECT_TRUE(setup::FindKivoProcesses(excluded, &found));
  EXPECT_EQ(Sorted(expected), Sorted(found));
  EXPECT_EQ(
      Sorted({"[ERROR:check_process.cc] CompanyName = Other Corp",
              "[ERROR:check_process.cc] CompanyName = Norvane Ltd",
              "[ERROR:check_process.cc] GetVerInfoCompanyName(" + DeviceForm(bare) + ") failed."}),
      Sorted(capture.LinesWithSource()));
}

TEST(FindKivoProcessesTest, NothingRunningGivesAnEmptyList) {
  LogCapture capture;
  ASSERT_TRUE(capture.ok());
  std::vector<DWORD> found;
  EXPECT_TRUE(setup::FindKivoProcesses(GetCurrentProcessId(), &found));
  EXPECT_EQ(std::vector<DWORD>(), found);
  EXPECT_EQ(Lines(), capture.Lines());
}

}  // namespace
