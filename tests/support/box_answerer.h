#ifndef TESTS_SUPPORT_BOX_ANSWERER_H_
#define TESTS_SUPPORT_BOX_ANSWERER_H_

#include <windows.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

// Answers one message box of the test process as a user would, through
// tests/tools/answer_box.exe: waits for a box with |caption|, checks its body
// and presses the button |press| (IDOK 1, IDYES 6, IDNO 7, ...).
class BoxAnswerer {
 public:
  BoxAnswerer();
  ~BoxAnswerer();

  bool Start(const std::wstring& caption, const std::wstring& expected_body, int press,
             DWORD timeout_ms = 20000);

  // Waits for the answerer to end: true when it answered every box as asked
  // (exit code 0). |exit_code| gets its code (answer_box.cc lists them).
  bool Finish(DWORD timeout_ms, DWORD* exit_code);

  // One object per box it saw: caption, body, buttons, topmost, pid, pressed.
  std::vector<nlohmann::json> Reports() const;
  // The raw report, for failure messages.
  std::string RawReport() const;
  // The ids of the visible buttons of one reported box, in the box's order.
  static std::vector<int> ButtonIds(const nlohmann::json& report);

  DWORD start_error() const { return process_.last_error(); }

 private:
  ChildProcess process_;
  std::wstring report_path_;

  BoxAnswerer(const BoxAnswerer&) = delete;
  BoxAnswerer& operator=(const BoxAnswerer&) = delete;
};

#endif  // TESTS_SUPPORT_BOX_ANSWERER_H_
