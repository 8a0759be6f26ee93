#include "base/reg_key.h"

#include <windows.h>

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace {

// A key of this test process's own, so parallel tests never share values.
std::wstring TestKeyPath() {
  return L"Software\\KivoTest\\RegKeyTest_" + std::to_wstring(GetCurrentProcessId());
}

std::vector<BYTE> WideBytes(const std::wstring& text, bool terminator) {
  const BYTE* begin = reinterpret_cast<const BYTE*>(text.c_str());
  std::vector<BYTE> bytes(begin, begin + text.size() * sizeof(wchar_t));
  if (terminator) bytes.insert(bytes.end(), sizeof(wchar_t), 0);
  return bytes;
}

struct ReadCase {
  const char* name;
  DWORD type;
  std::vector<BYTE> data;
  LONG result;
  std::wstring expected;  // when result is ERROR_SUCCESS
};

std::vector<BYTE> Append(std::vector<BYTE> bytes, std::vector<BYTE> more) {
  bytes.insert(bytes.end(), more.begin(), more.end());
  return bytes;
}

std::vector<ReadCase> ReadCases() {
  const std::wstring chars_1023(1023, L'a');
  const std::wstring chars_1024(1024, L'b');
  const std::wstring long_tail(1020, L'c');
  return {
      {"sz", REG_SZ, WideBytes(L"C:\\Program Files\\Kivo\\", true), ERROR_SUCCESS,
       L"C:\\Program Files\\Kivo\\"},
      {"sz_without_terminator", REG_SZ, WideBytes(L"C:\\Kivo", false), ERROR_SUCCESS, L"C:\\Kivo"},
      {"sz_empty", REG_SZ, {}, ERROR_SUCCESS, L""},
      {"sz_ends_at_first_terminator", REG_SZ,
       Append(WideBytes(L"ab", true), WideBytes(L"cd", true)), ERROR_SUCCESS, L"ab"},
      {"sz_odd_byte_dropped", REG_SZ, Append(WideBytes(L"abc", false), {0x41}), ERROR_SUCCESS,
       L"abc"},
      {"sz_2048_bytes_with_terminator", REG_SZ, WideBytes(chars_1023, true), ERROR_SUCCESS,
       chars_1023},
      // Exactly the limit and no room for a terminator: still read whole.
      {"sz_2048_bytes_without_terminator", REG_SZ, WideBytes(chars_1024, false), ERROR_SUCCESS,
       chars_1024},
      {"sz_over_2048_bytes", REG_SZ, WideBytes(chars_1024, true), ERROR_MORE_DATA, L""},
      {"expand_sz", REG_EXPAND_SZ, WideBytes(L"%KRK%\\Kivo", true), ERROR_SUCCESS,
       L"D:\\Apps\\Kivo"},
      {"expand_sz_unknown_variable_kept", REG_EXPAND_SZ,
       WideBytes(L"%KIVO_REG_KEY_UNSET%\\Kivo", true), ERROR_SUCCESS,
       L"%KIVO_REG_KEY_UNSET%\\Kivo"},
      // A short variable name keeps the raw value under its own limit;
      // "D:\Apps" (7) + 1016 = 1023 characters and the terminator just fit.
      {"expand_sz_1024_chars_expanded", REG_EXPAND_SZ,
       WideBytes(L"%KRK%" + std::wstring(1016, L'x'), true), ERROR_SUCCESS,
       L"D:\\Apps" + std::wstring(1016, L'x')},
      {"expand_sz_expanded_over_1024_chars", REG_EXPAND_SZ,
       WideBytes(L"%KRK%" + std::wstring(1017, L'x'), true), ERROR_MORE_DATA, L""},
      {"expand_sz_over_2048_raw_bytes", REG_EXPAND_SZ, WideBytes(chars_1024, true), ERROR_MORE_DATA,
       L""},
      {"dword", REG_DWORD, {1, 0, 0, 0}, ERROR_CANTREAD, L""},
      {"multi_sz", REG_MULTI_SZ, Append(WideBytes(L"a", true), {0, 0}), ERROR_CANTREAD, L""},
      {"binary", REG_BINARY, WideBytes(L"C:\\Kivo", true), ERROR_CANTREAD, L""},
      {"none", REG_NONE, WideBytes(L"C:\\Kivo", true), ERROR_CANTREAD, L""},
  };
}

class RegKeyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetEnvironmentVariableW(L"KRK", L"D:\\Apps");
    SetEnvironmentVariableW(L"KIVO_REG_KEY_UNSET", nullptr);
    RegDeleteTreeW(HKEY_CURRENT_USER, TestKeyPath().c_str());
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, TestKeyPath().c_str(), 0, nullptr,
                                             0, KEY_ALL_ACCESS, nullptr, &writer_, nullptr));
  }
  void TearDown() override {
    if (writer_) RegCloseKey(writer_);
    RegDeleteTreeW(HKEY_CURRENT_USER, TestKeyPath().c_str());
  }

  HKEY writer_ = nullptr;
};

TEST_F(RegKeyTest, ReadsStringValuesByType) {
  const std::vector<ReadCase> cases = ReadCases();
  for (const ReadCase& c : cases) {
    const std::wstring name(c.name, c.name + strlen(c.name));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(writer_, name.c_str(), 0, c.type,
                                            c.data.empty() ? nullptr : c.data.data(),
                                            static_cast<DWORD>(c.data.size())))
        << c.name;
  }

  base::RegKey key;
  ASSERT_EQ(ERROR_SUCCESS, key.Open(HKEY_CURRENT_USER, TestKeyPath().c_str(), KEY_QUERY_VALUE));
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::wstring name(c.name, c.name + strlen(c.name));
    std::wstring value = L"untouched";
    EXPECT_EQ(c.result, key.ReadValue(name.c_str(), &value));
    EXPECT_EQ(c.result == ERROR_SUCCESS ? c.expected : L"untouched", value);
  }
}

TEST_F(RegKeyTest, MissingValueAndKeyFail) {
  base::RegKey key;
  std::wstring value = L"untouched";
  EXPECT_EQ(ERROR_INVALID_HANDLE, key.ReadValue(L"Install", &value));
  const std::wstring missing = TestKeyPath() + L"\\missing";
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.Open(HKEY_CURRENT_USER, missing.c_str(), KEY_READ));
  EXPECT_FALSE(key.Valid());

  ASSERT_EQ(ERROR_SUCCESS, key.Open(HKEY_CURRENT_USER, TestKeyPath().c_str(), KEY_READ));
  EXPECT_TRUE(key.Valid());
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.ReadValue(L"Install", &value));
  EXPECT_EQ(L"untouched", value);
  key.Close();
  EXPECT_FALSE(key.Valid());
}

}  // namespace
