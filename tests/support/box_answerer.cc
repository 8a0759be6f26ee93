#include "tests/support/box_answerer.h"

#include <windows.h>

#include <sstream>

#include "tests/support/test_paths.h"

BoxAnswerer::BoxAnswerer() : report_path_(TempFilePath(L"answer_box_report")) {}

BoxAnswerer::~BoxAnswerer() {
  process_.Terminate();
  DeleteFileW(report_path_.c_str());
}

bool BoxAnswerer::Start(const std::wstring& caption, const std::wstring& expected_body, int press,
                        DWORD timeout_ms) {
  const std::wstring program = std::wstring(test_paths::kToolsDir) + L"\\answer_box.exe";
  return process_.Start(program, {L"--timeout-ms", std::to_wstring(timeout_ms), L"--report",
                                  report_path_, L"--caption", caption, L"--expect-body",
                                  expected_body, L"--press", std::to_wstring(press)});
}

bool BoxAnswerer::Finish(DWORD timeout_ms, DWORD* exit_code) {
  DWORD code = 0xFFFFFFFF;
  bool ended = process_.Wait(timeout_ms, &code);
  if (exit_code) *exit_code = code;
  return ended && code == 0;
}

std::vector<nlohmann::json> BoxAnswerer::Reports() const {
  std::vector<nlohmann::json> reports;
  std::istringstream lines(RawReport());
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty()) continue;
    nlohmann::json parsed = nlohmann::json::parse(line, nullptr, false);
    if (!parsed.is_discarded()) reports.push_back(parsed);
  }
  return reports;
}

std::string BoxAnswerer::RawReport() const { return ReadFileBytes(report_path_); }

std::vector<int> BoxAnswerer::ButtonIds(const nlohmann::json& report) {
  std::vector<int> ids;
  for (const auto& button : report["buttons"]) ids.push_back(button["id"].get<int>());
  return ids;
}
