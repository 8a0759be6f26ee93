#include "TarnelSetup/util/process/version_info.h"

#include <windows.h>

#include <string>

#include "base/file_path_util.h"
#include "gtest/gtest.h"
#include "tests/support/running_copies.h"
#include "tests/support/test_paths.h"

namespace {

const std::wstring FakeKivo() { return base::JoinPath(test_paths::kToolsDir, L"fake_kivo.exe"); }

TEST(GetVerInfoStringTest, ReadsTheStringsOfFakeKivo) {
  struct {
    const wchar_t* name;
    const wchar_t* value;
  } const kValues[] = {
      {L"CompanyName", L"Norvane"},
      {L"ProductName", L"Kivo"},
      {L"FileVersion", L"9.1.0.100"},
      {L"OriginalFilename", L"Kivo.exe"},
  };
  for (const auto& expected : kValues) {
    SCOPED_TRACE(expected.name);
    std::wstring value = L"untouched";
    EXPECT_TRUE(setup::GetVerInfoString(FakeKivo(), expected.name, &value));
    EXPECT_EQ(std::wstring(expected.value), value);
  }
}

TEST(GetVerInfoStringTest, FailsWithoutTouchingTheResult) {
  RunningCopies copies;
  ASSERT_TRUE(copies.ok());
  const std::wstring bare = copies.Copy(L"fake_kivo", L"bare\\Kivo.exe");
  ASSERT_FALSE(bare.empty());
  const int stripped =
      copies.Start(base::JoinPath(test_paths::kToolsDir, L"set_company.exe"), {bare, L"--none"});
  DWORD code = 1;
  ASSERT_TRUE(copies.Ended(stripped, 30000, &code));
  ASSERT_EQ(0u, code) << "set_company --none failed";

  struct {
    const char* what;
    std::wstring file;
    const wchar_t* name;
  } const kCases[] = {
      {"value not in the table", FakeKivo(), L"LegalTrademarks"},
      {"file without version information", bare, L"CompanyName"},
      {"missing file", copies.root() + L"\\missing\\Kivo.exe", L"CompanyName"},
      {"sub-block name over 260 characters", FakeKivo(), nullptr},
  };
  const std::wstring long_name(260, L'N');
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    std::wstring value = L"untouched";
    EXPECT_FALSE(setup::GetVerInfoString(c.file, c.name ? c.name : long_name.c_str(), &value));
    EXPECT_EQ(L"untouched", value);
  }
}

// Company names of a chosen length, written by set_company into copies: 259
// characters and the terminator fit the 260-character buffer, 260 do not.
TEST(GetVerInfoStringTest, ValueLengthLimit) {
  RunningCopies copies;
  ASSERT_TRUE(copies.ok());
  struct {
    const char* what;
    std::wstring company;
    bool found;
  } const kCases[] = {
      {"chinese", L"诺凡科技", true},  // "诺凡科技" (a company name)
      {"259 characters", std::wstring(259, L'c'), true},
      {"260 characters", std::wstring(260, L'c'), false},
      {"300 characters", std::wstring(300, L'c'), false},
  };
  int n = 0;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    const std::wstring exe = copies.Copy(L"fake_kivo", std::to_wstring(++n) + L"\\Kivo.exe");
    ASSERT_FALSE(exe.empty());
    const int writer =
        copies.Start(base::JoinPath(test_paths::kToolsDir, L"set_company.exe"), {exe, c.company});
    DWORD code = 1;
    ASSERT_TRUE(copies.Ended(writer, 30000, &code));
    ASSERT_EQ(0u, code) << "set_company failed";
    std::wstring value;
    EXPECT_EQ(c.found, setup::GetVerInfoString(exe, L"CompanyName", &value));
    if (c.found) {
      EXPECT_EQ(c.company, value);
    }
  }
}

}  // namespace
