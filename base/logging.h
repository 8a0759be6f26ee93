#ifndef BASE_LOGGING_H_
#define BASE_LOGGING_H_

#include <windows.h>

#include <ctime>
#include <sstream>
#include <string>

namespace logging {

typedef int LogSeverity;
const LogSeverity LOG_VERBOSE = -1;
const LogSeverity LOG_INFO = 0;
const LogSeverity LOG_WARNING = 1;
const LogSeverity LOG_ERROR = 2;
const LogSeverity LOG_ERROR_REPORT = 3;
const LogSeverity LOG_FATAL = 4;
// <windows.h> defines ERROR as 0, so LOG(ERROR) can arrive here as LOG(0).
const LogSeverity LOG_0 = LOG_ERROR;

enum LoggingDestination {
  LOG_NONE = 0,
  LOG_ONLY_TO_FILE = 1,
  LOG_ONLY_TO_SYSTEM_DEBUG_LOG = 2,
  LOG_TO_BOTH_FILE_AND_SYSTEM_DEBUG_LOG = 3,
};
enum LogLockingState { LOCK_LOG_FILE = 0, DONT_LOCK_LOG_FILE = 1 };
enum OldFileDeletionState { DELETE_OLD_LOG_FILE = 0, APPEND_TO_OLD_LOG_FILE = 1 };

// Opens |log_file| as the log, replacing the default "debug.log" beside the
// executable. Returns whether the file is open afterwards.
bool OpenLogDestination(const std::wstring& log_file, LoggingDestination destination,
                        LogLockingState lock, OldFileDeletionState old_file);

// The four optional items at the start of each line.
void SetLogItems(bool enable_process_id, bool enable_thread_id, bool enable_timestamp,
                 bool enable_tickcount);

int GetMinLogLevel();
bool DebugChecksEnabled();
// Tests only: the program keeps debug checks off.
void SetDebugChecksEnabled(bool enabled);

// Path of the current log file ("" until a line or OpenLogDestination set it).
std::wstring GetLogFileName();

// Everything that goes in front of the message text.
struct LinePrefix {
  bool with_process_id = false;
  bool with_thread_id = false;
  bool with_timestamp = true;
  bool with_tickcount = false;
  unsigned long process_id = 0;
  unsigned long thread_id = 0;
  std::tm local_time = {};
  unsigned long tick_count = 0;
  LogSeverity severity = LOG_INFO;
  const char* file = "";
  int line = 0;
};
// "[pid:tid:MMDD/hhmmss:tick:SEVERITY:file.cc(line)] "
std::string FormatLinePrefix(const LinePrefix& prefix);
// "INFO", "WARNING", ..., "VERBOSE<n>" for negative severities.
std::string SeverityName(LogSeverity severity);

// Collects the pieces of one message. Wide strings are written as UTF-8.
class LogStream {
 public:
  template <typename T>
  LogStream& operator<<(const T& value) {
    out_ << value;
    return *this;
  }
  LogStream& operator<<(const std::wstring& value);
  LogStream& operator<<(const wchar_t* value);
  LogStream& operator<<(wchar_t* value) { return *this << static_cast<const wchar_t*>(value); }
  std::string str() const { return out_.str(); }

 private:
  std::ostringstream out_;
};

// One log line; written when the object is destroyed at the end of the
// statement. A FATAL line ends the process after it is written.
class LogMessage {
 public:
  LogMessage(const char* file, int line, LogSeverity severity);
  ~LogMessage();
  LogStream& stream() { return stream_; }

 private:
  LogSeverity severity_;
  const char* file_;
  int line_;
  DWORD last_error_;
  LogStream stream_;
  LogMessage(const LogMessage&) = delete;
  LogMessage& operator=(const LogMessage&) = delete;
};

// Lets a stream expression be the second operand of ?:.
class LogMessageVoidify {
 public:
  void operator&(LogStream&) {}
};

}  // namespace logging

#define LOG_IS_ON(severity) (::logging::LOG_##severity >= ::logging::GetMinLogLevel())
#define LOG(severity)                      \
  !LOG_IS_ON(severity) ? static_cast<void>(0) \
                       : ::logging::LogMessageVoidify() &  \
                             ::logging::LogMessage(__FILE__, __LINE__, ::logging::LOG_##severity).stream()

// Fatal check: writes "Check failed: <condition>. " at FATAL and ends the process.
#define CHECK(condition)                                                               \
  (condition) ? static_cast<void>(0)                                                   \
              : ::logging::LogMessageVoidify() &                                       \
                    ::logging::LogMessage(__FILE__, __LINE__, ::logging::LOG_FATAL).stream() \
                        << "Check failed: " #condition ". "

// Debug check: off in the program, so the condition is not evaluated.
#define DCHECK(condition)                                                           \
  (!::logging::DebugChecksEnabled() || (condition))                                 \
      ? static_cast<void>(0)                                                        \
      : ::logging::LogMessageVoidify() &                                            \
            ::logging::LogMessage(__FILE__, __LINE__, ::logging::LOG_ERROR_REPORT).stream() \
                << "Check failed: " #condition ". "

#define DCHECK_OP(name, op, a, b)                                                      \
  (!::logging::DebugChecksEnabled() || ((a)op(b)))                                     \
      ? static_cast<void>(0)                                                           \
      : ::logging::LogMessageVoidify() &                                               \
            ::logging::LogMessage(__FILE__, __LINE__, ::logging::LOG_ERROR_REPORT).stream() \
                << "Check failed: " #a " " #op " " #b " (" << (a) << " vs. " << (b) << ")"
#define DCHECK_EQ(a, b) DCHECK_OP(EQ, ==, a, b)
#define DCHECK_NE(a, b) DCHECK_OP(NE, !=, a, b)
#define DCHECK_LT(a, b) DCHECK_OP(LT, <, a, b)
#define DCHECK_LE(a, b) DCHECK_OP(LE, <=, a, b)
#define NOTREACHED() DCHECK(false)

#endif  // BASE_LOGGING_H_
