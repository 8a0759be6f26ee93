#ifndef TESTS_SUPPORT_CHILD_PROCESS_H_
#define TESTS_SUPPORT_CHILD_PROCESS_H_

#include <windows.h>

#include <string>
#include <vector>

// A program that a test starts (a dialog answerer, a stand-in for another
// setup). Ended by the destructor if it still runs: only this test's own
// child, by its handle.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();

  // Starts |program| with |args|, each quoted. False (with the system's
  // error in last_error()) when it could not be started.
  bool Start(const std::wstring& program, const std::vector<std::wstring>& args);

  // Waits up to |timeout_ms| for the program to end; true with its exit code
  // in |exit_code| when it has.
  bool Wait(DWORD timeout_ms, DWORD* exit_code);
  void Terminate();

  DWORD last_error() const { return last_error_; }
  const std::wstring& command_line() const { return command_line_; }

 private:
  HANDLE process_ = nullptr;
  DWORD last_error_ = 0;
  std::wstring command_line_;

  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
};

// Reads a whole file as bytes; empty when it is missing.
std::string ReadFileBytes(const std::wstring& path);

// A new path in the temporary folder for a file the test reads back.
std::wstring TempFilePath(const std::wstring& stem);

#endif  // TESTS_SUPPORT_CHILD_PROCESS_H_
