#include "UninstallCustomAction/task/uninstall_vevure.h"

#include <windows.h>

#include <objbase.h>
#include <shlwapi.h>

#include <string>

#include "TarnelSetup/task_class_registry.h"
#include "base/command_line.h"
#include "base/logging.h"
#include "base/process_launch.h"

REGISTER_TASK_CLASS(uninstall::UninstallVevuRe, "UninstallVevuRe");

namespace uninstall {

namespace {

// Bytes read of the LocalServer32 value: 129 characters and the terminator.
const DWORD kServerValueBytes = 260;

class ScopedRegKey {
 public:
  ScopedRegKey() = default;
  ~ScopedRegKey() {
    if (key_) RegCloseKey(key_);
  }
  HKEY* receive() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;

  ScopedRegKey(const ScopedRegKey&) = delete;
  ScopedRegKey& operator=(const ScopedRegKey&) = delete;
};

std::wstring TrimQuotes(const std::wstring& text) {
  const size_t first = text.find_first_not_of(L'"');
  if (first == std::wstring::npos) return std::wstring();
  const size_t last = text.find_last_not_of(L'"');
  return text.substr(first, last - first + 1);
}

}  // namespace

const wchar_t UninstallVevuRe::kProgId[] = L"KivoVevuRE.Downloader.1";
const wchar_t UninstallVevuRe::kPrepareUninstallArgument[] = L"/PrepareUninstall";

std::wstring GetVevuReServerPath() {
  // An unregistered ProgID has no class, so there is no server to find.
  CLSID clsid = CLSID_NULL;
  if (FAILED(CLSIDFromProgID(UninstallVevuRe::kProgId, &clsid))) return std::wstring();

  LPOLESTR clsid_text = nullptr;
  if (FAILED(StringFromCLSID(clsid, &clsid_text)) || !clsid_text) return std::wstring();
  wchar_t key_path[MAX_PATH] = {};
  wnsprintfW(key_path, MAX_PATH, L"CLSID\\%s\\LocalServer32", clsid_text);
  CoTaskMemFree(clsid_text);

  ScopedRegKey key;
  if (RegOpenKeyW(HKEY_CLASSES_ROOT, key_path, key.receive()) != ERROR_SUCCESS) {
    return std::wstring();
  }
  // One unit more than is read, so that a value stored without its
  // terminator still ends inside the buffer.
  wchar_t value[kServerValueBytes / sizeof(wchar_t) + 1] = {};
  DWORD size = kServerValueBytes;
  if (RegQueryValueExW(key.get(), nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(value),
                       &size) != ERROR_SUCCESS) {
    return std::wstring();
  }
  value[size / sizeof(wchar_t)] = L'\0';
  return TrimQuotes(value);
}

void UninstallVevuRe::Run(task_object::RuntimeObject* /*object*/) {
  const std::wstring path = GetVevuReServerPath();
  if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
    LOG(WARNING) << "vevure.exe not exist.";
    return;
  }
  base::CommandLine command_line(path);
  command_line.AddArgument(kPrepareUninstallArgument);
  // Not waited for: the downloader goes on by itself.
  base::StartProgram(command_line, base::StartOptions());
}

}  // namespace uninstall
