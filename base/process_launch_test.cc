#include "base/process_launch.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "base/command_line.h"
#include "base/utf_string_conversions.h"
#include "tests/support/test_paths.h"

namespace {

std::wstring ToolPath(const wchar_t* name) {
  return std::wstring(test_paths::kToolsDir) + L"\\" + name + L".exe";
}

std::wstring TempPath(const std::wstring& name) {
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  return std::wstring(dir) + name + L"_" + std::to_wstring(GetCurrentProcessId());
}

std::string ReadAll(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool ProcessHasEnded(DWORD pid) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (!process) return true;  // no such process left
  bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
  CloseHandle(process);
  return ended;
}

// Runs the recorder tool, which logs its command line and pid and then exits
// with a chosen code after a delay.
class StartProgramTest : public testing::Test {
 protected:
  void SetUp() override {
    recorder_ = ToolPath(L"recorder");
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(recorder_.c_str()))
        << "test tool missing: " << base::WideToUTF8(recorder_);
    record_ = TempPath(L"kivo_start_program.jsonl");
    DeleteFileW(record_.c_str());
    SetEnvironmentVariableW(L"KIVO_RECORDER_LOG", record_.c_str());
    SetEnvironmentVariableW(L"KIVO_RECORDER_DELAY_MS", L"1500");
    SetEnvironmentVariableW(L"KIVO_RECORDER_EXIT_CODE", L"7");
  }
  void TearDown() override {
    SetEnvironmentVariableW(L"KIVO_RECORDER_LOG", nullptr);
    SetEnvironmentVariableW(L"KIVO_RECORDER_DELAY_MS", nullptr);
    SetEnvironmentVariableW(L"KIVO_RECORDER_EXIT_CODE", nullptr);
    DeleteFileW(record_.c_str());
  }

  nlohmann::json Record() {
    std::string text = ReadAll(record_);
    EXPECT_FALSE(text.empty()) << "the recorder left no record";
    return text.empty() ? nlohmann::json::object() : nlohmann::json::parse(text);
  }

  std::wstring recorder_;
  std::wstring record_;
};

TEST_F(StartProgramTest, WaitReturnsOnlyAfterTheProgramEnded) {
  base::CommandLine line(recorder_);
  base::StartOptions options;
  options.wait = true;
  DWORD start = GetTickCount();
  ASSERT_TRUE(base::StartProgram(line, options));
  DWORD elapsed = GetTickCount() - start;

  EXPECT_GE(elapsed, 1400u);
  nlohmann::json record = Record();
  ASSERT_TRUE(record.contains("pid"));
  EXPECT_TRUE(ProcessHasEnded(record["pid"].get<DWORD>()));
}

TEST_F(StartProgramTest, WithoutWaitReturnsAtOnceAndHandsOverTheHandle) {
  base::CommandLine line(recorder_);
  line.AddArgument(L"a b");
  line.AddArgument(L"--dir=C:\\x y\\");
  line.AddArgument(L"/S");
  HANDLE process = nullptr;
  ASSERT_TRUE(base::StartProgram(line, base::StartOptions(), &process));
  ASSERT_NE(nullptr, process);
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(process, 0))
      << "returned only after the program ended";

  ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(process, 30000));
  DWORD exit_code = 0;
  EXPECT_TRUE(GetExitCodeProcess(process, &exit_code));
  EXPECT_EQ(7u, exit_code);
  CloseHandle(process);

  // The child sees exactly the built command string.
  EXPECT_EQ(base::WideToUTF8(line.CommandString()), Record().value("cmdline", std::string()));
}

TEST(StartProgram, ShowStateFollowsStartHidden) {
  const std::wstring tool = ToolPath(L"startup_info");
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(tool.c_str()))
      << "test tool missing: " << base::WideToUTF8(tool);
  const std::wstring output = TempPath(L"kivo_startup_info.txt");
  struct Case {
    bool hidden;
    const char* expected;
  } cases[] = {{true, "flags=1 show=0"}, {false, "flags=1 show=5"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hidden ? "hidden" : "shown");
    DeleteFileW(output.c_str());
    base::CommandLine line(tool);
    line.AddArgument(output);
    base::StartOptions options;
    options.wait = true;
    options.start_hidden = c.hidden;
    ASSERT_TRUE(base::StartProgram(line, options));
    EXPECT_EQ(c.expected, ReadAll(output));
  }
  DeleteFileW(output.c_str());
}

TEST(StartProgram, MissingProgramFails) {
  base::CommandLine line(L"C:\\no such folder\\no_such_program.exe");
  HANDLE process = reinterpret_cast<HANDLE>(1);
  EXPECT_FALSE(base::StartProgram(line, base::StartOptions(), &process));
  EXPECT_EQ(nullptr, process);
}

}  // namespace
