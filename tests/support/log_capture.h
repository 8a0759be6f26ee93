#ifndef TESTS_SUPPORT_LOG_CAPTURE_H_
#define TESTS_SUPPORT_LOG_CAPTURE_H_

#include <string>
#include <vector>

// Sends the log to a fresh file of its own for as long as it lives, with no
// optional items, so that each line reads "[SEVERITY:file.cc(line)] text".
// Opening the log switches debug checks off: a test that wants them enables
// them after constructing this. On destruction the previous log file is
// opened again (appending), or, when there was none, logging to a file stops;
// then the capture file is deleted.
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();

  // Whether the capture file could be opened as the log.
  bool ok() const { return ok_; }
  const std::wstring& path() const { return path_; }

  // The lines written so far, whole.
  std::vector<std::string> RawLines() const;
  // The same lines without their "[...] " prefix.
  std::vector<std::string> Lines() const;
  // The same lines with severity and source file but no line number, as
  // "[ERROR:task_xml_parser.cc] text": exact, yet stable under edits.
  std::vector<std::string> LinesWithSource() const;

 private:
  std::wstring path_;
  std::wstring previous_path_;
  bool ok_ = false;

  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;
};

#endif  // TESTS_SUPPORT_LOG_CAPTURE_H_
