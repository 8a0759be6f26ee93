#include "TarnelSetup/temp_copy_launcher.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "TarnelSetup/setup_util.h"
#include "base/utf_string_conversions.h"
#include "tests/support/test_files.h"
#include "tests/support/test_paths.h"

namespace {

using test_files::IsDirectory;
using test_files::List;
using test_files::RemoveTree;

std::string Printable(const std::wstring& text) { return base::WideToUTF8(text); }

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadAll(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(TempCopyCommandLine, IsTheQuotedCopyAndTemp) {
  base::CommandLine line = setup::GetTempCopyCommandLine(L"C:\\Temp\\kivo_setup_42\\x.exe");
  EXPECT_EQ(L"\"C:\\Temp\\kivo_setup_42\\x.exe\" --temp", line.CommandString());
  EXPECT_EQ(L"C:\\Temp\\kivo_setup_42\\x.exe", line.GetProgram());
  EXPECT_EQ(base::CommandLine::StringVector{L"--temp"}, line.elements());
  EXPECT_TRUE(line.SwitchPresent("temp"));
}

// The temporary folder (TMP) points at a scratch folder of the test's own.
class LauncherTest : public testing::Test {
 protected:
  void SetUp() override {
    wchar_t value[MAX_PATH * 2] = L"";
    had_tmp_ = GetEnvironmentVariableW(L"TMP", value, MAX_PATH * 2) > 0;
    saved_tmp_ = value;
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    root_ = std::wstring(temp) + L"kivo launcher " + std::to_wstring(GetCurrentProcessId());
    RemoveTree(root_);
    ASSERT_TRUE(CreateDirectoryW(root_.c_str(), nullptr));
    SetEnvironmentVariableW(L"TMP", root_.c_str());
  }
  void TearDown() override {
    SetEnvironmentVariableW(L"TMP", had_tmp_ ? saved_tmp_.c_str() : nullptr);
    SetEnvironmentVariableW(L"KIVO_RECORDER_LOG", nullptr);
    RemoveTree(root_);
  }

  std::wstring root_;
  std::wstring saved_tmp_;
  bool had_tmp_ = false;
};

TEST_F(LauncherTest, CopiesIntoANewFolderAndStartsTheCopyWithTempOnly) {
  const std::wstring tool = std::wstring(test_paths::kToolsDir) + L"\\recorder.exe";
  ASSERT_TRUE(Exists(tool)) << "test tool missing: " << Printable(tool);
  const std::wstring record = root_ + L"\\record.jsonl";
  SetEnvironmentVariableW(L"KIVO_RECORDER_LOG", record.c_str());

  ASSERT_EQ(0, setup::LaunchTempCopyOf(tool));

  // The launcher does not wait: the record appears once the copy runs.
  for (int i = 0; i < 300 && ReadAll(record).empty(); ++i) Sleep(100);
  const std::string text = ReadAll(record);
  ASSERT_FALSE(text.empty()) << "the copy never ran";
  nlohmann::json line = nlohmann::json::parse(text);

  std::vector<std::wstring> folders;
  for (const std::wstring& name : List(root_)) {
    if (IsDirectory(root_ + L"\\" + name)) folders.push_back(name);
  }
  ASSERT_EQ(1u, folders.size());
  EXPECT_EQ(0u, folders[0].find(L"kivo_setup_")) << Printable(folders[0]);
  const std::wstring folder = root_ + L"\\" + folders[0];
  EXPECT_EQ(std::vector<std::wstring>{L"recorder.exe"}, List(folder));
  const std::wstring copy = folder + L"\\recorder.exe";
  EXPECT_EQ("\"" + Printable(copy) + "\" --temp", line.value("cmdline", std::string()));

  // Let the copy end before its folder is removed.
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, line.value("pid", 0ul));
  if (process) {
    WaitForSingleObject(process, 30000);
    CloseHandle(process);
  }
}

TEST_F(LauncherTest, FailuresExitWithOne) {
  // The executable's own path is 260 units.
  std::wstring long_exe = root_ + L"\\" + std::wstring(MAX_PATH - root_.size() - 5, L'x') + L".exe";
  ASSERT_EQ(static_cast<size_t>(MAX_PATH), long_exe.size());
  EXPECT_EQ(1, setup::LaunchTempCopyOf(long_exe));

  // Nothing to copy.
  EXPECT_EQ(1, setup::LaunchTempCopyOf(root_ + L"\\missing.exe"));

  // The copy's path would be 260 units: the temporary folder is deep, the
  // file name long, and the executable's own path short enough.
  const std::wstring source_dir = root_ + L"\\src";
  ASSERT_TRUE(CreateDirectoryW(source_dir.c_str(), nullptr));
  const std::wstring deep = root_ + L"\\" + std::wstring(120, L'd');
  ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
  // copy = deep + "\kivo_setup_" + up to 5 digits + "\" + name
  const size_t name_length = MAX_PATH - (deep.size() + 1 + 11 + 1);
  const std::wstring exe = source_dir + L"\\" + std::wstring(name_length - 4, L'n') + L".exe";
  ASSERT_LT(exe.size(), static_cast<size_t>(MAX_PATH));
  HANDLE file = CreateFileW(exe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  CloseHandle(file);
  SetEnvironmentVariableW(L"TMP", deep.c_str());
  EXPECT_EQ(1, setup::LaunchTempCopyOf(exe));
  // Its folder stays, empty.
  std::vector<std::wstring> made = List(deep);
  ASSERT_EQ(1u, made.size());
  EXPECT_TRUE(List(deep + L"\\" + made[0]).empty());
}

TEST_F(LauncherTest, AllFiftyNamesTakenFails) {
  // Each maker call seeds rand() with the current second; take every name
  // that the seeds of this and the next few seconds would draw.
  for (int tries = 0; tries < 3; ++tries) {
    const time_t now = time(nullptr);
    std::vector<std::wstring> taken;
    for (time_t seed = now; seed <= now + 2; ++seed) {
      srand(static_cast<unsigned int>(seed));
      for (int i = 0; i < 50; ++i) {
        std::wstring dir = root_ + L"\\kivo_setup_" + std::to_wstring(rand() % 0x7FFF);
        if (CreateDirectoryW(dir.c_str(), nullptr)) taken.push_back(dir);
      }
    }
    const size_t before = List(root_).size();
    std::wstring out;
    const bool made = setup::MakeUniqueTempDir(&out);
    const int launcher = setup::LaunchTempCopyOf(root_ + L"\\missing.exe");
    if (time(nullptr) > now + 2) continue;  // too slow: the seeds moved on
    EXPECT_FALSE(made) << Printable(out);
    EXPECT_EQ(1, launcher);
    EXPECT_EQ(before, List(root_).size()) << "a folder was made";
    return;
  }
  FAIL() << "could not run within the seeded seconds";
}

}  // namespace
