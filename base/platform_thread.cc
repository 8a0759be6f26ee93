#include "base/platform_thread.h"

#include "base/logging.h"
#include "base/utf_string_conversions.h"

namespace base {

namespace {

DWORD WINAPI ThreadStart(void* param) {
  static_cast<PlatformThread::Delegate*>(param)->ThreadBody();
  return 0;
}

typedef HRESULT(WINAPI* SetThreadDescriptionFn)(HANDLE, PCWSTR);
typedef HRESULT(WINAPI* GetThreadDescriptionFn)(HANDLE, PWSTR*);

FARPROC Kernel32Function(const char* name) {
  HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
  return kernel32 ? GetProcAddress(kernel32, name) : NULL;
}

}  // namespace

// static
HANDLE PlatformThread::Create(size_t stack_size, Delegate* delegate) {
  DWORD thread_id = 0;
  HANDLE handle = CreateThread(NULL, stack_size, ThreadStart, delegate, 0, &thread_id);
  if (!handle) LOG(ERROR) << "CreateThread failed, error " << GetLastError();
  return handle;
}

// static
void PlatformThread::SetName(const std::string& name) {
  // Not every supported system has it (Windows 10 1607 and later do); the
  // older exception-based convention needs SEH, which this compiler lacks.
  static const SetThreadDescriptionFn set_description =
      reinterpret_cast<SetThreadDescriptionFn>(Kernel32Function("SetThreadDescription"));
  if (!set_description) return;
  set_description(GetCurrentThread(), UTF8ToWide(name).c_str());
}

// static
std::wstring PlatformThread::GetName() {
  static const GetThreadDescriptionFn get_description =
      reinterpret_cast<GetThreadDescriptionFn>(Kernel32Function("GetThreadDescription"));
  if (!get_description) return std::wstring();
  PWSTR text = NULL;
  if (FAILED(get_description(GetCurrentThread(), &text)) || !text) return std::wstring();
  std::wstring name(text);
  LocalFree(text);
  return name;
}

}  // namespace base
