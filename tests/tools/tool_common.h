// Small helpers shared by the test programs in this folder. Header only:
// every tool stays one .cc file plus this.
#ifndef TESTS_TOOLS_TOOL_COMMON_H_
#define TESTS_TOOLS_TOOL_COMMON_H_

#include <windows.h>

#include <cwchar>
#include <string>

namespace tool {

inline std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                 nullptr, nullptr);
  std::string out(size, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size,
                      nullptr, nullptr);
  return out;
}

inline std::wstring FromUtf8(const std::string& text) {
  if (text.empty()) return std::wstring();
  int size =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(size, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size);
  return out;
}

// Arguments may spell any character as \uXXXX (and \n, \r, \t, \\), so that
// a test never depends on how the Linux side's locale converts argv.
inline std::wstring Unescape(const std::wstring& text) {
  std::wstring out;
  for (size_t i = 0; i < text.size(); ++i) {
    wchar_t c = text[i];
    if (c != L'\\' || i + 1 >= text.size()) {
      out += c;
      continue;
    }
    wchar_t n = text[i + 1];
    if (n == L'u' && i + 5 < text.size()) {
      out += static_cast<wchar_t>(wcstoul(text.substr(i + 2, 4).c_str(), nullptr, 16));
      i += 5;
    } else if (n == L'n') {
      out += L'\n';
      ++i;
    } else if (n == L'r') {
      out += L'\r';
      ++i;
    } else if (n == L't') {
      out += L'\t';
      ++i;
    } else if (n == L'\\') {
      out += L'\\';
      ++i;
    } else {
      out += c;
    }
  }
  return out;
}

// A JSON string literal of |text| (UTF-8, control characters escaped).
inline std::string JsonString(const std::wstring& text) {
  std::string utf8 = ToUtf8(text);
  std::string out = "\"";
  for (unsigned char c : utf8) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char buf[8];
      wsprintfA(buf, "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// Appends |bytes| to |path| in one write (the file is shared, so a reader
// may look at it at any time).
inline bool AppendToFile(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

// Writes |bytes| to |path|: first to a side file, then renamed over, so a
// reader sees the whole content or nothing.
inline bool WriteFileAtomically(const std::wstring& path, const std::string& bytes) {
  std::wstring temp = path + L".part";
  HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  if (!ok || written != bytes.size()) return false;
  return MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

inline std::wstring ReadEnv(const wchar_t* name) {
  wchar_t buf[4096];
  DWORD n = GetEnvironmentVariableW(name, buf, 4096);
  if (n == 0 || n >= 4096) return std::wstring();
  return std::wstring(buf, n);
}

inline std::wstring ModulePath() {
  wchar_t buf[4096];
  DWORD n = GetModuleFileNameW(nullptr, buf, 4096);
  return std::wstring(buf, n);
}

inline std::wstring Decimal(unsigned long value) {
  wchar_t buf[16];
  wsprintfW(buf, L"%lu", value);
  return buf;
}

// Prints to the standard error stream (UTF-8), for usage messages.
inline void Complain(const std::wstring& text) {
  std::string bytes = ToUtf8(text + L"\n");
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
            &written, nullptr);
}

}  // namespace tool

#endif  // TESTS_TOOLS_TOOL_COMMON_H_
