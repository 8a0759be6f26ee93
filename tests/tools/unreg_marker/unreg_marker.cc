// A module for the uninstall manifest's "Regsvr" section: a DLL whose
// registration entry points only record that they were called. Each call
// appends one JSON line
//   {"call": "unregister" or "register", "dll": <this DLL's path>,
//    "image": <the calling program's path>, "cmdline": <its command line>,
//    "flags": <STARTUPINFO dwFlags>, "show": <STARTUPINFO wShowWindow>,
//    "tick": <GetTickCount>}
// to %KIVO_UNREG_LOG% if set, else to <this DLL's path>.calls.txt.
#include <windows.h>

#include <string>

#include "tests/tools/tool_common.h"

namespace {

HMODULE g_module = nullptr;

std::wstring ModuleFileName(HMODULE module) {
  wchar_t buf[4096];
  DWORD n = GetModuleFileNameW(module, buf, 4096);
  return std::wstring(buf, n);
}

HRESULT Record(const wchar_t* call) {
  STARTUPINFOW info = {};
  info.cb = sizeof(info);
  GetStartupInfoW(&info);
  const std::wstring dll = ModuleFileName(g_module);
  std::wstring log = tool::ReadEnv(L"KIVO_UNREG_LOG");
  if (log.empty()) log = dll + L".calls.txt";
  std::string line = "{\"call\":" + tool::JsonString(call) + ",\"dll\":" + tool::JsonString(dll) +
                     ",\"image\":" + tool::JsonString(ModuleFileName(nullptr)) +
                     ",\"cmdline\":" + tool::JsonString(GetCommandLineW()) +
                     ",\"flags\":" + tool::ToUtf8(tool::Decimal(info.dwFlags)) +
                     ",\"show\":" + tool::ToUtf8(tool::Decimal(info.wShowWindow)) +
                     ",\"tick\":" + tool::ToUtf8(tool::Decimal(GetTickCount())) + "}\n";
  return tool::AppendToFile(log, line) ? S_OK : E_FAIL;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_module = instance;
  return TRUE;
}

extern "C" HRESULT WINAPI DllRegisterServer() { return Record(L"register"); }

extern "C" HRESULT WINAPI DllUnregisterServer() { return Record(L"unregister"); }
