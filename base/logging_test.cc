#include "base/logging.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::wstring TempFile(const wchar_t* name) {
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  return std::wstring(dir) + name;
}

std::string ReadAll(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));  // an unterminated last line
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::wstring SelfPath() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

// Runs this test program again with one disabled test selected; returns its exit code.
DWORD RunChild(const std::wstring& test, const std::wstring& env_value) {
  SetEnvironmentVariableW(L"KIVO_LOG_CHILD_FILE", env_value.c_str());
  std::wstring cmd = L"\"" + SelfPath() + L"\" --gtest_also_run_disabled_tests --gtest_filter=" + test;
  STARTUPINFOW si = {sizeof(si)};
  PROCESS_INFORMATION pi = {};
  std::vector<wchar_t> buf(cmd.begin(), cmd.end());
  buf.push_back(0);
  if (!CreateProcessW(nullptr, buf.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return 0xFFFFFFFF;
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return code;
}

std::wstring ChildFile() {
  wchar_t value[MAX_PATH] = {};
  GetEnvironmentVariableW(L"KIVO_LOG_CHILD_FILE", value, MAX_PATH);
  return value;
}

const char kLinePattern[] = R"(^\[(\d+):(\d+):(\d{2})(\d{2})/(\d{6}):(\d+):([A-Z_]+):logging_test\.cc\((\d+)\)\] (.*)$)";

}  // namespace

TEST(LoggingFormat, PrefixWithEveryItem) {
  logging::LinePrefix p;
  p.with_process_id = p.with_thread_id = p.with_timestamp = p.with_tickcount = true;
  p.process_id = 5678;
  p.thread_id = 1234;
  p.local_time.tm_mon = 2;  // March
  p.local_time.tm_mday = 7;
  p.local_time.tm_hour = 9;
  p.local_time.tm_min = 15;
  p.local_time.tm_sec = 5;
  p.tick_count = 4321;
  p.severity = logging::LOG_INFO;
  p.file = "C:\\src\\base/run.cc";
  p.line = 31;
  EXPECT_EQ("[5678:1234:0307/091505:4321:INFO:run.cc(31)] ", logging::FormatLinePrefix(p));

  // Items switched off leave no trace; the timestamp is on by default.
  logging::LinePrefix d;
  d.severity = logging::LOG_ERROR;
  d.file = "x/y/z.cc";
  d.line = 7;
  d.local_time.tm_mon = 11;
  d.local_time.tm_mday = 31;
  d.local_time.tm_hour = 23;
  d.local_time.tm_min = 59;
  d.local_time.tm_sec = 58;
  EXPECT_EQ("[1231/235958:ERROR:z.cc(7)] ", logging::FormatLinePrefix(d));
}

TEST(LoggingFormat, SeverityNames) {
  const struct {
    logging::LogSeverity severity;
    const char* name;
  } cases[] = {{0, "INFO"},          {1, "WARNING"}, {2, "ERROR"},    {3, "ERROR_REPORT"},
               {4, "FATAL"},         {-1, "VERBOSE1"}, {-12, "VERBOSE12"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.name, logging::SeverityName(c.severity));
  }
}

TEST(Logging, RealLinesMatchTheFormatAndAppend) {
  std::wstring path = TempFile(L"kivo_logging_real.log");
  DeleteFileW(path.c_str());
  {
    std::ofstream old(path.c_str(), std::ios::binary);
    old << "old line\n";
  }
  ASSERT_TRUE(logging::OpenLogDestination(path, logging::LOG_TO_BOTH_FILE_AND_SYSTEM_DEBUG_LOG,
                                          logging::LOCK_LOG_FILE,
                                          logging::APPEND_TO_OLD_LOG_FILE));
  logging::SetLogItems(true, true, true, true);
  LOG(INFO) << "plain " << 42;
  LOG(WARNING) << L"wide \x63d0\x793a";  // 提示
  LOG(ERROR) << "\xcc\xe1\xca\xbe";      // 提示 in code page 936, written as is

  std::vector<std::string> lines = Lines(ReadAll(path));
  ASSERT_EQ(4u, lines.size());
  EXPECT_EQ("old line", lines[0]);
  const char* severities[] = {"INFO", "WARNING", "ERROR"};
  const char* texts[] = {"plain 42", "wide \xe6\x8f\x90\xe7\xa4\xba", "\xcc\xe1\xca\xbe"};
  std::regex pattern(kLinePattern);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(lines[i + 1]);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[i + 1], m, pattern));
    EXPECT_EQ(std::to_string(GetCurrentProcessId()), m[1].str());
    EXPECT_EQ(std::to_string(GetCurrentThreadId()), m[2].str());
    int month = std::stoi(m[3].str());
    EXPECT_TRUE(month >= 1 && month <= 12);
    EXPECT_EQ(severities[i], m[7].str());
    EXPECT_EQ(texts[i], m[9].str());
  }
  // No carriage returns anywhere.
  EXPECT_EQ(std::string::npos, ReadAll(path).find('\r'));

  // The lock is a named mutex: "Global\" and the path with forward slashes.
  std::wstring name = L"Global\\" + path;
  for (size_t i = 7; i < name.size(); ++i)
    if (name[i] == L'\\') name[i] = L'/';
  HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, name.c_str());
  EXPECT_NE(nullptr, mutex);
  if (mutex) CloseHandle(mutex);
}

TEST(Logging, DebugChecksAreOffAndDoNotEvaluate) {
  std::wstring path = TempFile(L"kivo_logging_dcheck.log");
  logging::OpenLogDestination(path, logging::LOG_ONLY_TO_FILE, logging::LOCK_LOG_FILE,
                              logging::DELETE_OLD_LOG_FILE);
  int evaluated = 0;
  auto fails = [&evaluated]() {
    ++evaluated;
    return false;
  };
  DCHECK(fails());
  DCHECK_EQ(1, (fails(), 2));
  EXPECT_EQ(0, evaluated);
  EXPECT_EQ("", ReadAll(path));

  // Tests may switch them on; the message then has the check's form.
  logging::SetLogItems(false, false, false, false);
  logging::SetDebugChecksEnabled(true);
  const int first_line = __LINE__ + 1;
  DCHECK(fails());
  DCHECK_EQ(1, 2);
  logging::SetDebugChecksEnabled(false);
  std::vector<std::string> lines = Lines(ReadAll(path));
  ASSERT_EQ(2u, lines.size());
  EXPECT_EQ("[ERROR_REPORT:logging_test.cc(" + std::to_string(first_line) +
                ")] Check failed: fails(). ",
            lines[0]);
  EXPECT_EQ("[ERROR_REPORT:logging_test.cc(" + std::to_string(first_line + 1) +
                ")] Check failed: 1 == 2 (1 vs. 2)",
            lines[1]);
}

TEST(Logging, MessagesBelowTheMinimumBuildNothing) {
  int built = 0;
  auto piece = [&built]() {
    ++built;
    return "x";
  };
  LOG(VERBOSE) << piece();
  EXPECT_EQ(0, built);
}

TEST(Logging, LastErrorIsKept) {
  std::wstring path = TempFile(L"kivo_logging_lasterror.log");
  logging::OpenLogDestination(path, logging::LOG_ONLY_TO_FILE, logging::LOCK_LOG_FILE,
                              logging::DELETE_OLD_LOG_FILE);
  SetLastError(1234);
  LOG(INFO) << "keeps the caller's error";
  EXPECT_EQ(1234u, GetLastError());
}

// Child process: writes many lines to the file named in the environment.
TEST(LoggingChild, DISABLED_WriteLines) {
  logging::OpenLogDestination(ChildFile(), logging::LOG_ONLY_TO_FILE, logging::LOCK_LOG_FILE,
                              logging::APPEND_TO_OLD_LOG_FILE);
  logging::SetLogItems(true, true, true, true);
  std::string payload(200, static_cast<char>('a' + GetCurrentProcessId() % 26));
  for (int i = 0; i < 1500; ++i) LOG(INFO) << "line " << i << " " << payload;
}

TEST(Logging, TwoProcessesWriteOnlyWholeLines) {
  std::wstring path = TempFile(L"kivo_logging_two.log");
  DeleteFileW(path.c_str());
  // Start both before waiting for either, so their writes overlap.
  SetEnvironmentVariableW(L"KIVO_LOG_CHILD_FILE", path.c_str());
  std::wstring cmd = L"\"" + SelfPath() +
                     L"\" --gtest_also_run_disabled_tests --gtest_filter=LoggingChild.DISABLED_WriteLines";
  PROCESS_INFORMATION pis[2] = {};
  for (auto& pi : pis) {
    STARTUPINFOW si = {sizeof(si)};
    std::vector<wchar_t> buf(cmd.begin(), cmd.end());
    buf.push_back(0);
    ASSERT_TRUE(CreateProcessW(nullptr, buf.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &si, &pi));
  }
  std::vector<DWORD> pids;
  for (auto& pi : pis) {
    WaitForSingleObject(pi.hProcess, 120000);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    EXPECT_EQ(0u, code);
    pids.push_back(pi.dwProcessId);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  std::vector<std::string> lines = Lines(ReadAll(path));
  ASSERT_EQ(3000u, lines.size());
  std::regex pattern(R"(^\[(\d+):\d+:\d{4}/\d{6}:\d+:INFO:logging_test\.cc\(\d+\)\] line (\d+) ([a-z])\3{199}$)");
  int per_process[2] = {0, 0};
  for (const std::string& line : lines) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, pattern)) << line.substr(0, 120);
    DWORD pid = std::stoul(m[1].str());
    ASSERT_TRUE(pid == pids[0] || pid == pids[1]);
    ++per_process[pid == pids[0] ? 0 : 1];
  }
  EXPECT_EQ(1500, per_process[0]);
  EXPECT_EQ(1500, per_process[1]);
}

// Child process: a fatal check ends the process after its line is written.
TEST(LoggingChild, DISABLED_FatalCheck) {
  logging::OpenLogDestination(ChildFile(), logging::LOG_ONLY_TO_FILE, logging::LOCK_LOG_FILE,
                              logging::DELETE_OLD_LOG_FILE);
  logging::SetLogItems(false, false, false, false);
  void* handle_ = nullptr;
  CHECK(handle_);
  LOG(INFO) << "not reached";
}

TEST(Logging, FatalCheckWritesItsLineAndEndsTheProcess) {
  std::wstring path = TempFile(L"kivo_logging_fatal.log");
  DeleteFileW(path.c_str());
  DWORD code = RunChild(L"LoggingChild.DISABLED_FatalCheck", path);
  EXPECT_EQ(3u, code);
  std::vector<std::string> lines = Lines(ReadAll(path));
  ASSERT_EQ(1u, lines.size());
  EXPECT_TRUE(std::regex_match(lines[0],
                               std::regex(R"(^\[FATAL:logging_test\.cc\(\d+\)\] Check failed: handle_\. $)")))
      << lines[0];
}

// Child process: logs without opening a destination first.
TEST(LoggingChild, DISABLED_DefaultFile) { LOG(WARNING) << "before the log is opened"; }

TEST(Logging, DefaultFileIsDebugLogBesideTheExecutable) {
  std::wstring exe = SelfPath();
  std::wstring debug_log = exe.substr(0, exe.find_last_of(L'\\') + 1) + L"debug.log";
  DeleteFileW(debug_log.c_str());
  EXPECT_EQ(0u, RunChild(L"LoggingChild.DISABLED_DefaultFile", L""));
  std::vector<std::string> lines = Lines(ReadAll(debug_log));
  ASSERT_EQ(1u, lines.size());
  // Only the timestamp item is on by default.
  EXPECT_TRUE(std::regex_match(
      lines[0], std::regex(R"(^\[\d{4}/\d{6}:WARNING:logging_test\.cc\(\d+\)\] before the log is opened$)")))
      << lines[0];
  DeleteFileW(debug_log.c_str());
}

// Child process: the named file cannot be created, so ".\debug.log" in the
// current directory takes the lines.
TEST(LoggingChild, DISABLED_FallbackFile) {
  logging::OpenLogDestination(ChildFile(), logging::LOG_ONLY_TO_FILE, logging::LOCK_LOG_FILE,
                              logging::APPEND_TO_OLD_LOG_FILE);
  LOG(INFO) << "fallback";
}

TEST(Logging, UnopenableFileFallsBackToTheCurrentDirectory) {
  wchar_t tmp[MAX_PATH];
  GetTempPathW(MAX_PATH, tmp);
  std::wstring dir = std::wstring(tmp) + L"kivo_logging_cwd";
  CreateDirectoryW(dir.c_str(), nullptr);
  std::wstring fallback = dir + L"\\debug.log";
  DeleteFileW(fallback.c_str());
  wchar_t old_dir[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, old_dir);
  SetCurrentDirectoryW(dir.c_str());
  DWORD code = RunChild(L"LoggingChild.DISABLED_FallbackFile", dir + L"\\missing\\folder\\x.log");
  SetCurrentDirectoryW(old_dir);
  EXPECT_EQ(0u, code);
  std::string text = ReadAll(fallback);
  EXPECT_NE(std::string::npos, text.find("] fallback\n")) << text;
  DeleteFileW(fallback.c_str());
  RemoveDirectoryW(dir.c_str());
}
