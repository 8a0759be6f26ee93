// Answers message boxes of other processes, as a user would.
//
//   answer_box.exe [--escapes] [--timeout-ms N] [--report FILE] [--wait-exit]
//                  --caption TEXT [--expect-body TEXT] [--press ID|none] ...
//
// Each --caption starts one step; the steps are answered in order. A step
// waits for a dialog box (class #32770) with exactly that caption, waits until
// it is shown, reads its body (the static control 0xFFFF), compares it when
// --expect-body is given, and presses the button with the given id (IDOK 1,
// IDCANCEL 2, IDRETRY 4, IDYES 6, IDNO 7, ...). "--press none" only reports.
// With --escapes every text may spell characters as \uXXXX, \r, \n, \\.
//
// The report gets one JSON object per line and step: caption, body, the
// visible buttons, whether the box is topmost, the owning process id and the
// id pressed (or an "error"). With --wait-exit, once every step is done it
// waits (same time-out) for the processes that owned the boxes to end and
// reports each one's full exit code as {"pid":N,"exit":CODE}; that is how a
// test learns the exit code of a process it did not start itself.
//
// Exit codes: 0 all steps answered, 2 time-out waiting for a box, 3 body
// differs, 4 no visible button with that id, 5 the box did not close after
// the press, 6 an owner still runs at the time-out, 64 bad usage.
#include <windows.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/tools/tool_common.h"

namespace {

const int kExitTimeout = 2;
const int kExitMismatch = 3;
const int kExitNoButton = 4;
const int kExitNotClosed = 5;
const int kExitOwnerRuns = 6;
const int kExitUsage = 64;

struct Step {
  std::wstring caption;
  bool check_body = false;
  std::wstring body;
  int press = -1;  // -1: report only.
};

struct Button {
  int id;
  std::wstring text;
};

std::wstring WindowText(HWND window) {
  wchar_t buf[8192];
  int n = GetWindowTextW(window, buf, 8192);
  return std::wstring(buf, n > 0 ? n : 0);
}

std::wstring BodyText(HWND box) {
  wchar_t buf[8192];
  UINT n = GetDlgItemTextW(box, 0xFFFF, buf, 8192);
  return std::wstring(buf, n);
}

BOOL CALLBACK CollectButton(HWND child, LPARAM param) {
  wchar_t cls[64];
  if (GetClassNameW(child, cls, 64) && lstrcmpiW(cls, L"Button") == 0 && IsWindowVisible(child)) {
    reinterpret_cast<std::vector<Button>*>(param)->push_back(
        {GetDlgCtrlID(child), WindowText(child)});
  }
  return TRUE;
}

std::vector<Button> VisibleButtons(HWND box) {
  std::vector<Button> buttons;
  EnumChildWindows(box, CollectButton, reinterpret_cast<LPARAM>(&buttons));
  return buttons;
}

// Captions of every dialog box now open: helps to see why a step timed out.
std::string OpenBoxesJson() {
  std::string out = "[";
  HWND box = nullptr;
  while ((box = FindWindowExW(nullptr, box, L"#32770", nullptr)) != nullptr) {
    if (out.size() > 1) out += ",";
    out += tool::JsonString(WindowText(box));
  }
  return out + "]";
}

// Waits for a shown box with |caption| that is not one already answered.
HWND WaitForBox(const std::wstring& caption, const std::set<HWND>& answered, DWORD timeout_ms) {
  DWORD start = GetTickCount();
  for (;;) {
    HWND box = nullptr;
    while ((box = FindWindowExW(nullptr, box, L"#32770", caption.c_str())) != nullptr) {
      if (!answered.count(box) && IsWindowVisible(box)) return box;
    }
    if (GetTickCount() - start >= timeout_ms) return nullptr;
    Sleep(10);
  }
}

bool WaitForClose(HWND box, DWORD timeout_ms) {
  DWORD start = GetTickCount();
  while (IsWindow(box)) {
    if (GetTickCount() - start >= timeout_ms) return false;
    Sleep(10);
  }
  return true;
}

struct Options {
  std::vector<Step> steps;
  DWORD timeout_ms = 30000;
  std::wstring report;
  bool wait_exit = false;
};

bool ParseArgs(int argc, wchar_t** argv, Options* options) {
  std::vector<Step>* steps = &options->steps;
  bool escapes = false;
  for (int i = 1; i < argc; ++i) {
    if (lstrcmpW(argv[i], L"--escapes") == 0) escapes = true;
  }
  auto text = [escapes](const wchar_t* arg) {
    return escapes ? tool::Unescape(arg) : std::wstring(arg);
  };
  for (int i = 1; i < argc; ++i) {
    std::wstring arg = argv[i];
    bool has_value = i + 1 < argc;
    if (arg == L"--escapes") continue;
    if (arg == L"--wait-exit") {
      options->wait_exit = true;
      continue;
    }
    if (!has_value) return false;
    const wchar_t* value = argv[++i];
    if (arg == L"--timeout-ms") {
      options->timeout_ms = wcstoul(value, nullptr, 10);
    } else if (arg == L"--report") {
      options->report = value;
    } else if (arg == L"--caption") {
      steps->push_back(Step());
      steps->back().caption = text(value);
    } else if (steps->empty()) {
      return false;
    } else if (arg == L"--expect-body") {
      steps->back().check_body = true;
      steps->back().body = text(value);
    } else if (arg == L"--press") {
      steps->back().press = lstrcmpiW(value, L"none") == 0 ? -1 : _wtoi(value);
    } else {
      return false;
    }
  }
  return !steps->empty();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options options;
  if (!ParseArgs(argc, argv, &options)) {
    tool::Complain(
        L"usage: answer_box.exe [--escapes] [--timeout-ms N] [--report FILE] [--wait-exit] "
        L"--caption TEXT [--expect-body TEXT] [--press ID|none] ...");
    return kExitUsage;
  }
  const std::wstring& report = options.report;
  const DWORD timeout_ms = options.timeout_ms;
  auto write = [&report](const std::string& line) {
    if (!report.empty()) tool::AppendToFile(report, line + "\n");
  };

  std::set<HWND> answered;
  std::vector<std::pair<DWORD, HANDLE>> owners;  // opened at first sight, while they run
  for (const Step& step : options.steps) {
    HWND box = WaitForBox(step.caption, answered, timeout_ms);
    if (!box) {
      write("{\"caption\":" + tool::JsonString(step.caption) +
            ",\"error\":\"timeout\",\"open_boxes\":" + OpenBoxesJson() + "}");
      return kExitTimeout;
    }
    answered.insert(box);

    std::wstring body = BodyText(box);
    DWORD pid = 0;
    GetWindowThreadProcessId(box, &pid);
    if (options.wait_exit && std::find_if(owners.begin(), owners.end(), [pid](const auto& o) {
                               return o.first == pid;
                             }) == owners.end()) {
      owners.emplace_back(pid,
                          OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    }
    bool topmost = (GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    std::vector<Button> buttons = VisibleButtons(box);
    std::string seen = "{\"caption\":" + tool::JsonString(WindowText(box)) +
                       ",\"body\":" + tool::JsonString(body) + ",\"buttons\":[";
    for (size_t i = 0; i < buttons.size(); ++i) {
      if (i) seen += ",";
      seen += "{\"id\":" + tool::ToUtf8(tool::Decimal(buttons[i].id)) +
              ",\"text\":" + tool::JsonString(buttons[i].text) + "}";
    }
    seen += "],\"topmost\":" + std::string(topmost ? "true" : "false") +
            ",\"pid\":" + tool::ToUtf8(tool::Decimal(pid));

    if (step.check_body && body != step.body) {
      write(seen + ",\"error\":\"body differs\",\"expected_body\":" + tool::JsonString(step.body) +
            "}");
      return kExitMismatch;
    }
    if (step.press < 0) {
      write(seen + ",\"pressed\":null}");
      continue;
    }
    HWND button = GetDlgItem(box, step.press);
    if (!button || !IsWindowVisible(button)) {
      write(seen + ",\"error\":\"no such button\",\"press\":" +
            tool::ToUtf8(tool::Decimal(step.press)) + "}");
      return kExitNoButton;
    }
    DWORD_PTR result = 0;
    SendMessageTimeoutW(box, WM_COMMAND, MAKEWPARAM(step.press, BN_CLICKED),
                        reinterpret_cast<LPARAM>(button), SMTO_NORMAL, 5000, &result);
    bool closed = WaitForClose(box, 5000);
    write(seen + ",\"pressed\":" + tool::ToUtf8(tool::Decimal(step.press)) +
          (closed ? "}" : ",\"error\":\"box did not close\"}"));
    if (!closed) return kExitNotClosed;
    answered.erase(box);  // Closed: its handle value may come back.
  }

  int result = 0;
  for (const auto& owner : owners) {
    DWORD code = STILL_ACTIVE;
    if (!owner.second || WaitForSingleObject(owner.second, timeout_ms) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(owner.second, &code)) {
      write("{\"pid\":" + tool::ToUtf8(tool::Decimal(owner.first)) +
            ",\"error\":\"still running\"}");
      result = kExitOwnerRuns;
    } else {
      write("{\"pid\":" + tool::ToUtf8(tool::Decimal(owner.first)) +
            ",\"exit\":" + tool::ToUtf8(tool::Decimal(code)) + "}");
    }
    if (owner.second) CloseHandle(owner.second);
  }
  return result;
}
