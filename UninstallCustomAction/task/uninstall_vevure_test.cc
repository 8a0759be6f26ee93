// Where the mini-downloader's executable is looked up: the LocalServer32
// value of the class registered for its ProgID, in the view of
// HKEY_CLASSES_ROOT that this 32-bit process reads.
#include "UninstallCustomAction/task/uninstall_vevure.h"

#include <windows.h>

#include <string>

#include "gtest/gtest.h"

namespace uninstall {
namespace {

const wchar_t kClsid[] = L"{6B0F3A52-7C1D-4E8A-9F21-3D5C8B7A1E40}";

class VevuReServerPathTest : public testing::Test {
 protected:
  void SetUp() override { RemoveRegistration(); }
  void TearDown() override { RemoveRegistration(); }

  static void RemoveRegistration() {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, UninstallVevuRe::kProgId);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + kClsid).c_str());
  }

  static bool SetDefault(const std::wstring& key_path, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key_path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
      return false;
    }
    const bool ok = RegSetValueExW(key, nullptr, 0, type, static_cast<const BYTE*>(data), size) ==
                    ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
  }

  static bool SetString(const std::wstring& key_path, const std::wstring& text,
                        DWORD type = REG_SZ) {
    return SetDefault(key_path, type, text.c_str(),
                      static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }

  static bool RegisterProgId() {
    return SetString(std::wstring(UninstallVevuRe::kProgId) + L"\\CLSID", kClsid);
  }

  static std::wstring ServerKey() { return std::wstring(L"CLSID\\") + kClsid + L"\\LocalServer32"; }
};

TEST_F(VevuReServerPathTest, ValueIsTakenWithoutItsOuterQuotes) {
  const std::wstring long_path = L"C:\\" + std::wstring(115, L'd') + L"\\vevure.exe";
  ASSERT_EQ(129u, long_path.size());
  const struct {
    DWORD type;
    std::wstring stored;
    std::wstring expected;
  } cases[] = {
      {REG_SZ, L"\"C:\\Kivo\\vevure.exe\"", L"C:\\Kivo\\vevure.exe"},
      {REG_SZ, L"C:\\Kivo\\vevure.exe", L"C:\\Kivo\\vevure.exe"},
      // Arguments after the path stay: the result is no file name.
      {REG_SZ, L"\"C:\\Kivo\\vevure.exe\" /Embedding", L"C:\\Kivo\\vevure.exe\" /Embedding"},
      {REG_SZ, L"\"\"C:\\Kivo\\ve\"vure.exe\"\"", L"C:\\Kivo\\ve\"vure.exe"},
      {REG_SZ, L"\"\"", L""},
      // Any type is read as it is stored; nothing is expanded.
      {REG_EXPAND_SZ, L"%ProgramFiles%\\vevure.exe", L"%ProgramFiles%\\vevure.exe"},
      // 129 characters fit the 260 bytes read with the terminator; 130 do not.
      {REG_SZ, long_path, long_path},
      {REG_SZ, long_path + L"x", L""},
  };
  ASSERT_TRUE(RegisterProgId());
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "stored " << testing::PrintToString(c.stored));
    ASSERT_TRUE(SetString(ServerKey(), c.stored, c.type));
    EXPECT_EQ(c.expected, GetVevuReServerPath());
  }
}

TEST_F(VevuReServerPathTest, ValueWithoutTerminatorEndsAtTheBytesRead) {
  ASSERT_TRUE(RegisterProgId());
  // 130 characters with no terminator fill the 260 bytes exactly.
  const std::wstring text = L"C:\\" + std::wstring(127, L'e');
  ASSERT_TRUE(SetDefault(ServerKey(), REG_BINARY, text.data(),
                         static_cast<DWORD>(text.size() * sizeof(wchar_t))));
  EXPECT_EQ(text, GetVevuReServerPath());
}

TEST_F(VevuReServerPathTest, MissingRegistrationGivesAnEmptyPath) {
  {
    SCOPED_TRACE("no ProgID");
    EXPECT_EQ(L"", GetVevuReServerPath());
  }
  ASSERT_TRUE(RegisterProgId());
  {
    SCOPED_TRACE("ProgID without its class key");
    EXPECT_EQ(L"", GetVevuReServerPath());
  }
  ASSERT_TRUE(SetString(std::wstring(L"CLSID\\") + kClsid + L"\\InprocServer32", L"C:\\x.dll"));
  {
    SCOPED_TRACE("class without LocalServer32");
    EXPECT_EQ(L"", GetVevuReServerPath());
  }
}

}  // namespace
}  // namespace uninstall
