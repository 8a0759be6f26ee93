#ifndef TESTS_SUPPORT_RUNNING_COPIES_H_
#define TESTS_SUPPORT_RUNNING_COPIES_H_

#include <windows.h>

#include <string>
#include <vector>

// Copies of the test programs (tests/tools) under the names of the maker's
// programs, in a fresh folder of the temporary folder, started as the test's
// own children. The destructor ends those children that still run (by their
// handles) and deletes the folder.
class RunningCopies {
 public:
  RunningCopies();
  ~RunningCopies();

  bool ok() const { return !root_.empty(); }
  // The folder everything goes into, without a trailing backslash.
  const std::wstring& root() const { return root_; }

  // Copies tests/tools/<tool>.exe to root()\<relative> (folders made as
  // needed) and returns the copy's full path; empty on failure.
  std::wstring Copy(const std::wstring& tool, const std::wstring& relative);

  // Starts |exe| with |args|; for a sleeper (|wait_ready|) waits until it
  // reports that it is up. Returns the program's index, or -1.
  int Start(const std::wstring& exe, const std::vector<std::wstring>& args = {},
            bool wait_ready = false);
  // Copy, then Start without arguments as a sleeper that reports readiness.
  int StartSleeper(const std::wstring& relative);

  DWORD pid(int index) const { return children_[index].pid; }
  const std::wstring& path(int index) const { return children_[index].path; }
  // Whether program |index| ends within |timeout_ms|; its exit code goes to
  // |exit_code|.
  bool Ended(int index, DWORD timeout_ms, DWORD* exit_code = nullptr) const;

 private:
  struct Child {
    HANDLE process;
    DWORD pid;
    std::wstring path;
  };

  std::wstring root_;
  std::vector<Child> children_;
  int ready_counter_ = 0;

  RunningCopies(const RunningCopies&) = delete;
  RunningCopies& operator=(const RunningCopies&) = delete;
};

#endif  // TESTS_SUPPORT_RUNNING_COPIES_H_
