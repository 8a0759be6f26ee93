#include "tests/support/log_capture.h"

#include <windows.h>

#include <atomic>

#include "base/logging.h"

namespace {

// The capture file that a finished capture left as the (closed) log's name;
// it is not a log to go back to.
std::wstring* g_closed_capture_path = nullptr;

std::wstring CurrentLogFile() {
  std::wstring current = logging::GetLogFileName();
  if (g_closed_capture_path && current == *g_closed_capture_path) return std::wstring();
  return current;
}

std::wstring NewCapturePath() {
  static std::atomic<int> counter{0};
  wchar_t temp[MAX_PATH + 1];
  DWORD len = GetTempPathW(MAX_PATH + 1, temp);
  std::wstring dir = (len > 0 && len <= MAX_PATH) ? std::wstring(temp, len) : std::wstring(L".\\");
  return dir + L"kivo_log_capture_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
         std::to_wstring(counter++) + L".log";
}

}  // namespace

LogCapture::LogCapture() : path_(NewCapturePath()), previous_path_(CurrentLogFile()) {
  ok_ = logging::OpenLogDestination(path_, logging::LOG_ONLY_TO_FILE, logging::LOCK_LOG_FILE,
                                    logging::DELETE_OLD_LOG_FILE);
  logging::SetLogItems(false, false, false, false);
}

LogCapture::~LogCapture() {
  logging::SetLogItems(false, false, true, false);
  if (!previous_path_.empty()) {
    logging::OpenLogDestination(previous_path_, logging::LOG_ONLY_TO_FILE, logging::LOCK_LOG_FILE,
                                logging::APPEND_TO_OLD_LOG_FILE);
  } else {
    // Nothing to go back to: close the file so that it can be deleted.
    logging::OpenLogDestination(path_, logging::LOG_NONE, logging::LOCK_LOG_FILE,
                                logging::APPEND_TO_OLD_LOG_FILE);
    if (!g_closed_capture_path) g_closed_capture_path = new std::wstring;
    *g_closed_capture_path = path_;
  }
  DeleteFileW(path_.c_str());
}

std::vector<std::string> LogCapture::RawLines() const {
  std::vector<std::string> lines;
  HANDLE file = CreateFileW(path_.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return lines;
  std::string content;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0)
    content.append(buffer, read);
  CloseHandle(file);

  size_t begin = 0;
  while (begin < content.size()) {
    size_t end = content.find('\n', begin);
    if (end == std::string::npos) end = content.size();
    std::string line = content.substr(begin, end - begin);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    begin = end + 1;
  }
  return lines;
}

std::vector<std::string> LogCapture::Lines() const {
  std::vector<std::string> lines = RawLines();
  for (std::string& line : lines) {
    size_t end = line.find("] ");
    if (!line.empty() && line[0] == '[' && end != std::string::npos) line.erase(0, end + 2);
  }
  return lines;
}

std::vector<std::string> LogCapture::LinesWithSource() const {
  std::vector<std::string> lines = RawLines();
  for (std::string& line : lines) {
    size_t end = line.find("] ");
    if (line.empty() || line[0] != '[' || end == std::string::npos) continue;
    size_t open = line.rfind('(', end);
    if (open != std::string::npos && line[end - 1] == ')') line.erase(open, end - open);
  }
  return lines;
}
