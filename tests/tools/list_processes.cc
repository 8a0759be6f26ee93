// Lists the processes of the Wine prefix (its wineserver), one JSON object a
// line on stdout (UTF-8): {"pid":N,"parent":N,"exe":"Kivo.exe","path":"C:\\..."}.
// "exe" is the Toolhelp name (as started); "path" is the full image path,
// empty when the process cannot be opened.
#include <windows.h>

#include <tlhelp32.h>

#include <string>

#include "tests/tools/tool_common.h"

int wmain() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) {
    tool::Complain(L"CreateToolhelp32Snapshot failed, error " + tool::Decimal(GetLastError()));
    return 1;
  }
  std::string out;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    std::wstring path;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
    if (process) {
      wchar_t buf[MAX_PATH * 4];
      DWORD size = MAX_PATH * 4;
      if (QueryFullProcessImageNameW(process, 0, buf, &size)) path.assign(buf, size);
      CloseHandle(process);
    }
    out += "{\"pid\":" + tool::ToUtf8(tool::Decimal(entry.th32ProcessID)) +
           ",\"parent\":" + tool::ToUtf8(tool::Decimal(entry.th32ParentProcessID)) +
           ",\"exe\":" + tool::JsonString(entry.szExeFile) + ",\"path\":" + tool::JsonString(path) +
           "}\n";
  }
  CloseHandle(snapshot);
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), out.data(), static_cast<DWORD>(out.size()), &written,
            nullptr);
  return 0;
}
