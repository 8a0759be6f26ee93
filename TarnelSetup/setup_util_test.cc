#include "TarnelSetup/setup_util.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "base/utf_string_conversions.h"
#include "tests/support/test_files.h"

namespace {

using test_files::IsDirectory;
using test_files::List;
using test_files::RemoveTree;

std::string Printable(const std::wstring& text) { return base::WideToUTF8(text); }

// Points the temporary folder (TMP, which GetTempPathW reads first) at a
// scratch folder of the test's own.
class TempDirMakerTest : public testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    root_ = std::wstring(temp) + L"kivo temp makers " + std::to_wstring(GetCurrentProcessId());
    RemoveTree(root_);
    ASSERT_TRUE(CreateDirectoryW(root_.c_str(), nullptr));
    SetTemp(root_);
  }
  void TearDown() override {
    SetEnvironmentVariableW(L"TMP", saved_tmp_.empty() ? nullptr : saved_tmp_.c_str());
    RemoveTree(root_);
  }

  void SetTemp(const std::wstring& folder) {
    if (!saved_) {
      wchar_t value[MAX_PATH * 2] = L"";
      GetEnvironmentVariableW(L"TMP", value, MAX_PATH * 2);
      saved_tmp_ = value;
      saved_ = true;
    }
    SetEnvironmentVariableW(L"TMP", folder.c_str());
  }

  std::wstring root_;
  std::wstring saved_tmp_;
  bool saved_ = false;
};

TEST_F(TempDirMakerTest, UniqueTempDirIsNewEmptyAndNumbered) {
  std::wstring first, second;
  ASSERT_TRUE(setup::MakeUniqueTempDir(&first));
  // Same second, same numbers: the existence test moves on to the next one.
  ASSERT_TRUE(setup::MakeUniqueTempDir(&second));
  EXPECT_NE(first, second);
  const std::wregex name(L"kivo_setup_(\\d{1,5})");
  for (const std::wstring& dir : {first, second}) {
    SCOPED_TRACE(Printable(dir));
    EXPECT_TRUE(IsDirectory(dir));
    EXPECT_TRUE(List(dir).empty());
    ASSERT_EQ(root_ + L"\\", dir.substr(0, root_.size() + 1));
    std::wsmatch match;
    const std::wstring leaf = dir.substr(root_.size() + 1);
    ASSERT_TRUE(std::regex_match(leaf, match, name));
    EXPECT_LE(std::stoi(match[1].str()), 32766);
  }
  EXPECT_EQ(2u, List(root_).size());
}

TEST_F(TempDirMakerTest, TempDirWithPrefixIsADirectChildInLongForm) {
  // Reach the scratch folder through its short name: the result is long.
  const std::wstring long_parent = root_ + L"\\a rather long folder name";
  ASSERT_TRUE(CreateDirectoryW(long_parent.c_str(), nullptr));
  wchar_t short_parent[MAX_PATH];
  DWORD length = GetShortPathNameW(long_parent.c_str(), short_parent, MAX_PATH);
  ASSERT_GT(length, 0u);
  ASSERT_LT(length, static_cast<DWORD>(MAX_PATH));
  SetTemp(short_parent);

  std::wstring first, second;
  ASSERT_TRUE(setup::MakeTempDirWithPrefix(L"kivo_setup_temp", &first));
  ASSERT_TRUE(setup::MakeTempDirWithPrefix(L"kivo_setup_temp", &second));
  EXPECT_NE(first, second);
  const std::wregex name(L"kivo_setup_temp(\\d{1,5})");
  for (const std::wstring& dir : {first, second}) {
    SCOPED_TRACE(Printable(dir));
    EXPECT_TRUE(IsDirectory(dir));
    EXPECT_TRUE(List(dir).empty());
    ASSERT_EQ(long_parent + L"\\", dir.substr(0, long_parent.size() + 1));
    std::wsmatch match;
    const std::wstring leaf = dir.substr(long_parent.size() + 1);
    ASSERT_TRUE(std::regex_match(leaf, match, name));
    EXPECT_LE(std::stoi(match[1].str()), 32766);
  }
}

TEST_F(TempDirMakerTest, FailuresLeaveNothing) {
  EXPECT_FALSE(setup::MakeUniqueTempDir(nullptr));
  EXPECT_FALSE(setup::MakeTempDirWithPrefix(L"kivo_setup_temp", nullptr));

  // A prefix that names a missing folder: one level is all CreateDirectoryW makes.
  std::wstring out = L"unchanged";
  EXPECT_FALSE(setup::MakeTempDirWithPrefix(L"no such folder\\kivo", &out));
  EXPECT_EQ(L"unchanged", out);

  // A temporary folder of 260 units or more.
  SetTemp(root_ + L"\\" + std::wstring(MAX_PATH, L'x'));
  EXPECT_FALSE(setup::MakeUniqueTempDir(&out));
  EXPECT_FALSE(setup::MakeTempDirWithPrefix(L"kivo_setup_temp", &out));
  EXPECT_EQ(L"unchanged", out);
  EXPECT_TRUE(List(root_).empty());
}

}  // namespace
