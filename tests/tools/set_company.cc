// Rewrites the version information of a program file in place.
//
//   set_company.exe EXE NAME     version information with CompanyName NAME
//   set_company.exe EXE --none   no version information at all
//
// All other resources of the file are dropped. The new version information
// has one string table (080404b0, Translation 0x0804/1200) with CompanyName,
// FileDescription, FileVersion, ProductName and ProductVersion. Exit code 0
// on success, 1 on failure.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/tools/tool_common.h"

namespace {

const WORD kLanguage = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);  // 0x0804

typedef std::vector<unsigned char> Bytes;

void Append(Bytes* out, const void* data, size_t size) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  out->insert(out->end(), p, p + size);
}

void PadTo4(Bytes* out) {
  while (out->size() % 4) out->push_back(0);
}

void AppendWord(Bytes* out, WORD value) { Append(out, &value, sizeof(value)); }

void AppendWide(Bytes* out, const std::wstring& text) {
  Append(out, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

// One block of the version resource: header, key, value, then the children,
// each starting on a 4-byte boundary. |value_length| is the header's
// wValueLength (characters for text values, bytes for binary ones).
Bytes Block(const std::wstring& key, WORD type, const Bytes& value, WORD value_length,
            const std::vector<Bytes>& children) {
  Bytes out;
  AppendWord(&out, 0);  // wLength, filled in below.
  AppendWord(&out, value_length);
  AppendWord(&out, type);
  AppendWide(&out, key);
  PadTo4(&out);
  Append(&out, value.data(), value.size());
  for (const Bytes& child : children) {
    PadTo4(&out);
    Append(&out, child.data(), child.size());
  }
  WORD length = static_cast<WORD>(out.size());
  out[0] = static_cast<unsigned char>(length & 0xFF);
  out[1] = static_cast<unsigned char>(length >> 8);
  return out;
}

Bytes StringValue(const std::wstring& key, const std::wstring& value) {
  Bytes text;
  AppendWide(&text, value);
  return Block(key, 1, text, static_cast<WORD>(value.size() + 1), {});
}

Bytes VersionInfo(const std::wstring& company) {
  VS_FIXEDFILEINFO fixed = {};
  fixed.dwSignature = 0xFEEF04BD;
  fixed.dwStrucVersion = 0x00010000;
  fixed.dwFileVersionMS = fixed.dwProductVersionMS = MAKELONG(1, 9);
  fixed.dwFileVersionLS = fixed.dwProductVersionLS = MAKELONG(100, 0);
  fixed.dwFileFlagsMask = 0x3F;
  fixed.dwFileOS = VOS_NT_WINDOWS32;
  fixed.dwFileType = VFT_APP;
  Bytes fixed_bytes;
  Append(&fixed_bytes, &fixed, sizeof(fixed));

  std::vector<Bytes> strings = {
      StringValue(L"CompanyName", company), StringValue(L"FileDescription", L"Kivo"),
      StringValue(L"FileVersion", L"9.1.0.100"), StringValue(L"ProductName", L"Kivo"),
      StringValue(L"ProductVersion", L"9.1.0.100")};
  Bytes table = Block(L"080404b0", 1, {}, 0, strings);
  Bytes string_info = Block(L"StringFileInfo", 1, {}, 0, {table});

  DWORD translation = MAKELONG(kLanguage, 1200);
  Bytes translation_bytes;
  Append(&translation_bytes, &translation, sizeof(translation));
  Bytes var = Block(L"Translation", 0, translation_bytes, sizeof(translation), {});
  Bytes var_info = Block(L"VarFileInfo", 1, {}, 0, {var});

  return Block(L"VS_VERSION_INFO", 0, fixed_bytes, sizeof(fixed), {string_info, var_info});
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    tool::Complain(L"usage: set_company.exe EXE NAME|--none");
    return 64;
  }
  std::wstring exe = argv[1];
  std::wstring company = argv[2];
  // Starts from no resources at all: the fake programs have no others, and
  // Wine ignores the deletion of a single resource (UpdateResourceW with no
  // data leaves it in place).
  HANDLE update = BeginUpdateResourceW(exe.c_str(), TRUE);
  if (!update) {
    tool::Complain(L"BeginUpdateResourceW failed, error " + tool::Decimal(GetLastError()));
    return 1;
  }
  bool ok = true;
  if (company != L"--none") {
    Bytes info = VersionInfo(company);
    ok = UpdateResourceW(update, MAKEINTRESOURCEW(16), MAKEINTRESOURCEW(1), kLanguage, info.data(),
                         static_cast<DWORD>(info.size())) != 0;
  }
  if (!ok) {
    tool::Complain(L"UpdateResourceW failed, error " + tool::Decimal(GetLastError()));
    EndUpdateResourceW(update, TRUE);
    return 1;
  }
  if (!EndUpdateResourceW(update, FALSE)) {
    tool::Complain(L"EndUpdateResourceW failed, error " + tool::Decimal(GetLastError()));
    return 1;
  }
  return 0;
}
