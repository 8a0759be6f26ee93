#include "TarnelSetup/util/process/version_info.h"

#include <windows.h>

#include <wchar.h>

#include <vector>

namespace setup {

namespace {

typedef DWORD(WINAPI* GetFileVersionInfoSizeWFunction)(LPCWSTR, LPDWORD);
typedef BOOL(WINAPI* GetFileVersionInfoWFunction)(LPCWSTR, DWORD, DWORD, LPVOID);
typedef BOOL(WINAPI* VerQueryValueWFunction)(LPCVOID, LPCWSTR, LPVOID*, PUINT);

// The longest sub-block name and value the lookup accepts, terminator
// included.
const size_t kMaxTextLength = MAX_PATH;

// version.dll from the system folder only, never from beside the program.
class VersionLibrary {
 public:
  VersionLibrary() {
    module_ = LoadLibraryExW(L"version.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!module_ && GetLastError() == ERROR_INVALID_PARAMETER) {
      // Systems without the search flags: name the system folder outright.
      wchar_t system[MAX_PATH];
      const UINT length = GetSystemDirectoryW(system, MAX_PATH);
      if (length > 0 && length < MAX_PATH - 13) {
        std::wstring path(system, length);
        path += L"\\version.dll";
        module_ = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
      }
    }
    if (!module_) return;
    get_size_ = reinterpret_cast<GetFileVersionInfoSizeWFunction>(
        GetProcAddress(module_, "GetFileVersionInfoSizeW"));
    get_info_ = reinterpret_cast<GetFileVersionInfoWFunction>(
        GetProcAddress(module_, "GetFileVersionInfoW"));
    query_value_ =
        reinterpret_cast<VerQueryValueWFunction>(GetProcAddress(module_, "VerQueryValueW"));
  }
  ~VersionLibrary() {
    if (module_) FreeLibrary(module_);
  }

  bool ok() const { return get_size_ && get_info_ && query_value_; }
  GetFileVersionInfoSizeWFunction get_size() const { return get_size_; }
  GetFileVersionInfoWFunction get_info() const { return get_info_; }
  VerQueryValueWFunction query_value() const { return query_value_; }

 private:
  HMODULE module_ = nullptr;
  GetFileVersionInfoSizeWFunction get_size_ = nullptr;
  GetFileVersionInfoWFunction get_info_ = nullptr;
  VerQueryValueWFunction query_value_ = nullptr;

  VersionLibrary(const VersionLibrary&) = delete;
  VersionLibrary& operator=(const VersionLibrary&) = delete;
};

void AppendHexByte(unsigned value, std::wstring* out) {
  static const wchar_t kDigits[] = L"0123456789abcdef";
  *out += kDigits[(value >> 4) & 0xF];
  *out += kDigits[value & 0xF];
}

}  // namespace

bool GetVerInfoString(const std::wstring& file, const std::wstring& name, std::wstring* value) {
  if (!value) return false;
  VersionLibrary library;
  if (!library.ok()) return false;

  DWORD unused = 0;
  const DWORD size = library.get_size()(file.c_str(), &unused);
  if (size == 0) return false;
  std::vector<unsigned char> block(size, 0);
  if (!library.get_info()(file.c_str(), 0, size, block.data())) return false;

  WORD* translation = nullptr;
  UINT translation_length = 0;
  if (!library.query_value()(block.data(), L"\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &translation_length) ||
      !translation || translation_length < 2 * sizeof(WORD)) {
    return false;
  }
  // The first translation only: language id, then code page, each as four
  // lower-case hex digits, high byte first.
  const WORD language = translation[0];
  const WORD code_page = translation[1];
  std::wstring sub_block = L"\\StringFileInfo\\";
  AppendHexByte(HIBYTE(language), &sub_block);
  AppendHexByte(LOBYTE(language), &sub_block);
  AppendHexByte(HIBYTE(code_page), &sub_block);
  AppendHexByte(LOBYTE(code_page), &sub_block);
  sub_block += L"\\";
  sub_block += name;
  if (sub_block.size() >= kMaxTextLength) return false;

  wchar_t* text = nullptr;
  UINT text_length = 0;  // characters, the terminator included
  if (!library.query_value()(block.data(), sub_block.c_str(), reinterpret_cast<void**>(&text),
                             &text_length) ||
      !text || text_length > kMaxTextLength) {
    return false;
  }
  // A value of exactly 260 characters has no room for its terminator.
  const size_t length = wcsnlen(text, text_length);
  if (length >= kMaxTextLength) return false;
  value->assign(text, length);
  return true;
}

}  // namespace setup
