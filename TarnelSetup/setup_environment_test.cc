#include "TarnelSetup/setup_environment.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "TarnelSetup/setup_context.h"
#include "base/file_path_util.h"
#include "base/logging.h"
#include "base/utf_string_conversions.h"

namespace {

const char* const kKeys[] = {"AppdataPath", "LogPath", "SetupTempPath", "SystemPath"};

std::wstring Env(const wchar_t* name) {
  wchar_t value[MAX_PATH] = {};
  GetEnvironmentVariableW(name, value, MAX_PATH);
  return value;
}

std::string ReadFile(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::wstring SelfPath() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

std::wstring AppData() {
  wchar_t path[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

std::wstring TempDir() {
  wchar_t path[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, path);
  return path;
}

bool IsDirectory(const std::wstring& path) {
  DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void WriteFile(const std::wstring& path, const std::string& text) {
  std::ofstream out(path.c_str(), std::ios::binary);
  out << text;
}

// The setup context of one fresh process that ran the environment setup.
struct ChildResult {
  DWORD exit_code = 0;
  std::map<std::string, std::wstring> values;  // absent keys are missing
  bool has_fallback_flag = false;
  int fallback_flag = 0;
};

ChildResult RunChild(const wchar_t* tmp_override = nullptr) {
  std::wstring result_file = TempDir() + L"kivo_env_child.txt";
  DeleteFileW(result_file.c_str());
  SetEnvironmentVariableW(L"KIVO_ENV_RESULT", result_file.c_str());
  std::wstring old_tmp = Env(L"TMP"), old_temp = Env(L"TEMP");
  if (tmp_override) {
    SetEnvironmentVariableW(L"TMP", tmp_override);
    SetEnvironmentVariableW(L"TEMP", tmp_override);
  }
  std::wstring cmd = L"\"" + SelfPath() +
                     L"\" --gtest_also_run_disabled_tests --gtest_filter=EnvironmentChild.DISABLED_Run";
  std::vector<wchar_t> buf(cmd.begin(), cmd.end());
  buf.push_back(0);
  STARTUPINFOW si = {sizeof(si)};
  PROCESS_INFORMATION pi = {};
  ChildResult result;
  BOOL started =
      CreateProcessW(nullptr, buf.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
  if (tmp_override) {
    SetEnvironmentVariableW(L"TMP", old_tmp.c_str());
    SetEnvironmentVariableW(L"TEMP", old_temp.c_str());
  }
  if (!started) {
    ADD_FAILURE() << "cannot start the child, error " << GetLastError();
    return result;
  }
  WaitForSingleObject(pi.hProcess, 60000);
  GetExitCodeProcess(pi.hProcess, &result.exit_code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  std::istringstream lines(ReadFile(result_file));
  std::string line;
  while (std::getline(lines, line)) {
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = line.substr(0, eq);
    if (key == "HasCreateWindowsTemp") {
      result.has_fallback_flag = true;
      result.fallback_flag = std::stoi(line.substr(eq + 1));
    } else {
      result.values[key] = base::UTF8ToWide(line.substr(eq + 1));
    }
  }
  return result;
}

class EnvironmentPaths : public ::testing::Test {
 protected:
  void SetUp() override {
    norvane_ = AppData() + L"\\Norvane";
    ASSERT_TRUE(base::DeletePath(norvane_, true));
  }
  void TearDown() override { base::DeletePath(norvane_, true); }
  std::wstring norvane_;
};

}  // namespace

// Child process: one environment setup, then the context written out.
TEST(EnvironmentChild, DISABLED_Run) {
  setup::InitEnvironmentPaths();
  setup::InitLogFile();
  LOG(INFO) << "environment child";
  std::ofstream out(Env(L"KIVO_ENV_RESULT").c_str(), std::ios::binary);
  SetupContext* context = SetupContext::GetInstance();
  for (const char* key : kKeys) {
    std::wstring value;
    if (context->GetWString(key, &value)) out << key << "=" << base::WideToUTF8(value) << "\n";
  }
  int32_t flag = 0;
  if (context->GetInt("HasCreateWindowsTemp", &flag)) out << "HasCreateWindowsTemp=" << flag << "\n";
}

TEST_F(EnvironmentPaths, PublishesThePathsAndAppendsToTheLog) {
  std::wstring appdata = AppData();
  ChildResult first = RunChild();
  EXPECT_EQ(0u, first.exit_code);
  EXPECT_EQ(appdata, first.values["AppdataPath"]);
  EXPECT_EQ(appdata + L"\\Norvane\\Logs", first.values["LogPath"]);
  EXPECT_EQ(appdata + L"\\Norvane\\Kivo\\STemp", first.values["SetupTempPath"]);
  wchar_t system_dir[MAX_PATH];
  GetSystemDirectoryW(system_dir, MAX_PATH);
  EXPECT_EQ(system_dir, first.values["SystemPath"]);
  EXPECT_FALSE(first.has_fallback_flag);
  EXPECT_TRUE(IsDirectory(appdata + L"\\Norvane\\Logs"));
  EXPECT_TRUE(IsDirectory(appdata + L"\\Norvane\\Kivo\\STemp"));

  ChildResult second = RunChild();
  EXPECT_EQ(0u, second.exit_code);
  std::string log = ReadFile(appdata + L"\\Norvane\\Logs\\kivo_uninstall.log");
  std::regex line(
      R"(\[\d+:\d+:\d{4}/\d{6}:\d+:INFO:setup_environment_test\.cc\(\d+\)\] environment child\n)");
  auto begin = std::sregex_iterator(log.begin(), log.end(), line);
  EXPECT_EQ(2, std::distance(begin, std::sregex_iterator())) << log;
}

TEST_F(EnvironmentPaths, PlainFileNamedLogsIsReplacedByTheFolder) {
  ASSERT_TRUE(base::CreateDirectoryPath(norvane_));
  WriteFile(norvane_ + L"\\Logs", "not a folder");
  ChildResult result = RunChild();
  EXPECT_EQ(0u, result.exit_code);
  EXPECT_TRUE(IsDirectory(norvane_ + L"\\Logs"));
  EXPECT_NE(std::string::npos,
            ReadFile(norvane_ + L"\\Logs\\kivo_uninstall.log").find("environment child"));
}

TEST_F(EnvironmentPaths, BlockedTempFolderFallsBackToTheWindowsTemporaryFolder) {
  ASSERT_TRUE(base::CreateDirectoryPath(norvane_));
  // A plain file where the folder "Kivo" must go: STemp cannot be made below it.
  WriteFile(norvane_ + L"\\Kivo", "blocks STemp");
  ChildResult result = RunChild();
  EXPECT_EQ(0u, result.exit_code);
  std::wstring temp = result.values["SetupTempPath"];
  std::wstring expected_parent = TempDir();
  ASSERT_EQ(0u, temp.rfind(expected_parent, 0)) << base::WideToUTF8(temp);
  std::wstring name = temp.substr(expected_parent.size());
  EXPECT_TRUE(std::regex_match(base::WideToUTF8(name), std::regex("kivo_setup_temp[0-9]{1,5}")))
      << base::WideToUTF8(name);
  EXPECT_TRUE(IsDirectory(temp));
  EXPECT_TRUE(result.has_fallback_flag);
  EXPECT_EQ(1, result.fallback_flag);
  EXPECT_FALSE(result.values["SystemPath"].empty());
  RemoveDirectoryW(temp.c_str());
}

TEST_F(EnvironmentPaths, NoTemporaryFolderAtAllLogsTheErrorAndPublishesNoTempPath) {
  ASSERT_TRUE(base::CreateDirectoryPath(norvane_));
  WriteFile(norvane_ + L"\\Kivo", "blocks STemp");
  // The error is written before the uninstall log is open: it lands in
  // "debug.log" beside the executable.
  std::wstring exe = SelfPath();
  std::wstring debug_log = exe.substr(0, exe.find_last_of(L'\\') + 1) + L"debug.log";
  DeleteFileW(debug_log.c_str());
  std::wstring missing_temp = TempDir() + L"kivo_no_such_folder\\";
  ChildResult result = RunChild(missing_temp.c_str());
  EXPECT_EQ(0u, result.exit_code);
  EXPECT_EQ(1u, result.values.count("AppdataPath"));
  EXPECT_EQ(1u, result.values.count("LogPath"));
  EXPECT_EQ(0u, result.values.count("SetupTempPath"));
  EXPECT_EQ(0u, result.values.count("SystemPath"));
  EXPECT_FALSE(result.has_fallback_flag);
  std::string text = ReadFile(debug_log);
  // "创建windows的临时目录失败" in code page 936.
  EXPECT_TRUE(std::regex_search(
      text, std::regex("\\[\\d{4}/\\d{6}:ERROR:setup_environment\\.cc\\(\\d+\\)\\] "
                       "\xb4\xb4\xbd\xa8windows\xb5\xc4\xc1\xd9\xca\xb1\xc4\xbf\xc2\xbc\xca\xa7\xb0\xdc\n")))
      << text;
  DeleteFileW(debug_log.c_str());
}
