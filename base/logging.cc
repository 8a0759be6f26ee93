#include "base/logging.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "base/utf_string_conversions.h"

namespace logging {

namespace {

// Process-wide settings. Written on the first thread before others exist
// (the program opens its log first thing); afterwards only read.
LoggingDestination g_logging_destination = LOG_ONLY_TO_FILE;
LogLockingState g_lock_log_file = LOCK_LOG_FILE;
std::wstring* g_log_file_name = nullptr;
HANDLE g_log_file = INVALID_HANDLE_VALUE;
HANDLE g_log_mutex = nullptr;
CRITICAL_SECTION g_log_critical_section;
bool g_log_critical_section_ready = false;
bool g_log_process_id = false;
bool g_log_thread_id = false;
bool g_log_timestamp = true;
bool g_log_tickcount = false;
int g_min_log_level = 0;
bool g_debug_checks_enabled = false;

// Process exit code after a FATAL line.
const UINT kFatalExitCode = 3;

std::wstring DefaultLogFileName() {
  wchar_t module_name[MAX_PATH];
  DWORD len = GetModuleFileNameW(nullptr, module_name, MAX_PATH);
  std::wstring path(module_name, len < MAX_PATH ? len : 0);
  size_t slash = path.find_last_of(L'\\');
  path = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
  return path + L"debug.log";
}

void EnsureFileName() {
  if (!g_log_file_name) g_log_file_name = new std::wstring(DefaultLogFileName());
}

bool DestinationHasFile() {
  return g_logging_destination == LOG_ONLY_TO_FILE ||
         g_logging_destination == LOG_TO_BOTH_FILE_AND_SYSTEM_DEBUG_LOG;
}

bool DestinationHasDebugger() {
  return g_logging_destination == LOG_ONLY_TO_SYSTEM_DEBUG_LOG ||
         g_logging_destination == LOG_TO_BOTH_FILE_AND_SYSTEM_DEBUG_LOG;
}

// The named mutex is shared by every process writing the same file.
void EnsureLock() {
  if (g_lock_log_file == LOCK_LOG_FILE) {
    if (g_log_mutex) return;
    EnsureFileName();
    std::wstring name = L"Global\\" + *g_log_file_name;
    for (size_t i = 7; i < name.size(); ++i) {
      if (name[i] == L'\\') name[i] = L'/';
    }
    g_log_mutex = CreateMutexW(nullptr, FALSE, name.c_str());
  } else if (!g_log_critical_section_ready) {
    InitializeCriticalSectionAndSpinCount(&g_log_critical_section, 2000);
    g_log_critical_section_ready = true;
  }
}

void Lock() {
  if (g_lock_log_file == LOCK_LOG_FILE) {
    if (g_log_mutex) WaitForSingleObject(g_log_mutex, INFINITE);
  } else if (g_log_critical_section_ready) {
    EnterCriticalSection(&g_log_critical_section);
  }
}

void Unlock() {
  if (g_lock_log_file == LOCK_LOG_FILE) {
    if (g_log_mutex) ReleaseMutex(g_log_mutex);
  } else if (g_log_critical_section_ready) {
    LeaveCriticalSection(&g_log_critical_section);
  }
}

HANDLE OpenFileForAppend(const wchar_t* name) {
  return CreateFileW(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Called with the lock held.
bool InitializeLogFileHandle() {
  if (g_log_file != INVALID_HANDLE_VALUE) return true;
  EnsureFileName();
  if (DestinationHasFile()) {
    g_log_file = OpenFileForAppend(g_log_file_name->c_str());
    if (g_log_file == INVALID_HANDLE_VALUE) g_log_file = OpenFileForAppend(L".\\debug.log");
    if (g_log_file == INVALID_HANDLE_VALUE) return false;
  }
  if (g_log_file != INVALID_HANDLE_VALUE) SetFilePointer(g_log_file, 0, nullptr, FILE_END);
  return g_log_file != INVALID_HANDLE_VALUE;
}

const char* BaseName(const char* path) {
  const char* base = path;
  for (const char* p = path; *p; ++p) {
    if (*p == '\\' || *p == '/') base = p + 1;
  }
  return base;
}

void AppendTwoDigits(int value, std::string* out) {
  out->push_back(static_cast<char>('0' + (value / 10) % 10));
  out->push_back(static_cast<char>('0' + value % 10));
}

}  // namespace

bool OpenLogDestination(const std::wstring& log_file, LoggingDestination destination,
                        LogLockingState lock, OldFileDeletionState old_file) {
  g_debug_checks_enabled = false;
  g_lock_log_file = lock;
  if (!g_log_mutex && lock == LOCK_LOG_FILE) {
    // The mutex is named after the file it guards.
    delete g_log_file_name;
    g_log_file_name = new std::wstring(log_file);
  }
  EnsureLock();
  Lock();
  if (g_log_file != INVALID_HANDLE_VALUE) {
    CloseHandle(g_log_file);
    g_log_file = INVALID_HANDLE_VALUE;
  }
  g_logging_destination = destination;
  delete g_log_file_name;
  g_log_file_name = new std::wstring(log_file);
  if (old_file == DELETE_OLD_LOG_FILE) DeleteFileW(log_file.c_str());
  bool open = InitializeLogFileHandle();
  Unlock();
  return open;
}

void SetLogItems(bool enable_process_id, bool enable_thread_id, bool enable_timestamp,
                 bool enable_tickcount) {
  g_log_process_id = enable_process_id;
  g_log_thread_id = enable_thread_id;
  g_log_timestamp = enable_timestamp;
  g_log_tickcount = enable_tickcount;
}

int GetMinLogLevel() { return g_min_log_level; }
bool DebugChecksEnabled() { return g_debug_checks_enabled; }
void SetDebugChecksEnabled(bool enabled) { g_debug_checks_enabled = enabled; }

std::wstring GetLogFileName() { return g_log_file_name ? *g_log_file_name : std::wstring(); }

std::string SeverityName(LogSeverity severity) {
  static const char* const kNames[] = {"INFO", "WARNING", "ERROR", "ERROR_REPORT", "FATAL"};
  if (severity >= 0 && severity <= LOG_FATAL) return kNames[severity];
  if (severity < 0) return "VERBOSE" + std::to_string(-static_cast<long long>(severity));
  return "UNKNOWN";
}

std::string FormatLinePrefix(const LinePrefix& prefix) {
  std::string out = "[";
  if (prefix.with_process_id) out += std::to_string(prefix.process_id) + ":";
  if (prefix.with_thread_id) out += std::to_string(prefix.thread_id) + ":";
  if (prefix.with_timestamp) {
    AppendTwoDigits(prefix.local_time.tm_mon + 1, &out);
    AppendTwoDigits(prefix.local_time.tm_mday, &out);
    out += "/";
    AppendTwoDigits(prefix.local_time.tm_hour, &out);
    AppendTwoDigits(prefix.local_time.tm_min, &out);
    AppendTwoDigits(prefix.local_time.tm_sec, &out);
    out += ":";
  }
  if (prefix.with_tickcount) out += std::to_string(prefix.tick_count) + ":";
  out += SeverityName(prefix.severity);
  out += ":";
  out += BaseName(prefix.file);
  out += "(" + std::to_string(prefix.line) + ")] ";
  return out;
}

LogStream& LogStream::operator<<(const std::wstring& value) {
  out_ << base::WideToUTF8(value);
  return *this;
}

LogStream& LogStream::operator<<(const wchar_t* value) {
  if (value) out_ << base::WideToUTF8(value);
  return *this;
}

LogMessage::LogMessage(const char* file, int line, LogSeverity severity)
    : severity_(severity), file_(file), line_(line), last_error_(GetLastError()) {}

LogMessage::~LogMessage() {
  LinePrefix prefix;
  prefix.with_process_id = g_log_process_id;
  prefix.with_thread_id = g_log_thread_id;
  prefix.with_timestamp = g_log_timestamp;
  prefix.with_tickcount = g_log_tickcount;
  prefix.process_id = GetCurrentProcessId();
  prefix.thread_id = GetCurrentThreadId();
  if (g_log_timestamp) {
    time_t now = time(nullptr);
    const std::tm* local = localtime(&now);
    if (local) prefix.local_time = *local;
  }
  prefix.tick_count = GetTickCount();
  prefix.severity = severity_;
  prefix.file = file_;
  prefix.line = line_;
  std::string line = FormatLinePrefix(prefix) + stream_.str() + "\n";

  if (DestinationHasDebugger()) {
    OutputDebugStringA(line.c_str());
    fprintf(stderr, "%s", line.c_str());
    fflush(stderr);
  } else if (severity_ >= LOG_ERROR) {
    fprintf(stderr, "%s", line.c_str());
    fflush(stderr);
  }

  EnsureLock();
  if (DestinationHasFile()) {
    Lock();
    if (InitializeLogFileHandle()) {
      SetFilePointer(g_log_file, 0, nullptr, FILE_END);
      DWORD written = 0;
      WriteFile(g_log_file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
    Unlock();
  }

  if (severity_ == LOG_FATAL) TerminateProcess(GetCurrentProcess(), kFatalExitCode);
  SetLastError(last_error_);
}

}  // namespace logging
