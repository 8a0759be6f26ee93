// The removal's choice of names: the removal temp folder and the names under
// which objects are moved aside.
#include <windows.h>

#include <ctime>
#include <string>
#include <vector>

#include "TarnelSetup/setup_util.h"
#include "base/file_path_util.h"
#include "base/utf_string_conversions.h"
#include "gtest/gtest.h"
#include "tests/support/child_process.h"

namespace {

std::string U8(const std::wstring& text) { return base::WideToUTF8(text); }

bool MakeFile(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

std::wstring TempFolder() {
  wchar_t buffer[MAX_PATH];
  const DWORD length = GetTempPathW(MAX_PATH, buffer);
  return base::StripTrailingSeparators(std::wstring(buffer, length));
}

// A drive letter that names no drive here.
std::wstring UnusedDrive() {
  const DWORD drives = GetLogicalDrives();
  for (wchar_t c = L'Y'; c > L'D'; --c) {
    if (!(drives & (1u << (c - L'A')))) return std::wstring(1, c) + L":";
  }
  return std::wstring();
}

class AsideNamesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = TempFilePath(L"kivo_aside");
    install_ = root_ + L"\\Kivo";
    aside_ = root_ + L"\\kivo_setup_7";
    ASSERT_TRUE(base::CreateDirectoryPath(install_));
    ASSERT_TRUE(base::CreateDirectoryPath(aside_));
  }
  void TearDown() override { base::DeletePath(root_, true); }

  std::wstring root_;
  std::wstring install_;
  std::wstring aside_;
};

TEST_F(AsideNamesTest, RenameTargets) {
  ASSERT_TRUE(MakeFile(install_ + L"\\a.dll"));
  ASSERT_TRUE(MakeFile(aside_ + L"\\~a_1.dll"));
  ASSERT_TRUE(MakeFile(aside_ + L"\\~a_2.dll"));
  ASSERT_TRUE(MakeFile(install_ + L"\\b.tar.gz"));
  ASSERT_TRUE(MakeFile(install_ + L"\\c.TAR.BZ2"));
  ASSERT_TRUE(MakeFile(install_ + L"\\d.tar.z"));
  ASSERT_TRUE(MakeFile(install_ + L"\\e.backup.gz"));  // "backup" is longer than 4
  ASSERT_TRUE(MakeFile(install_ + L"\\f..gz"));        // nothing between the dots
  ASSERT_TRUE(MakeFile(install_ + L"\\tar.gz"));       // only one dot
  ASSERT_TRUE(MakeFile(install_ + L"\\g.tar.xz"));     // not one of the compressions
  ASSERT_TRUE(MakeFile(install_ + L"\\README"));
  ASSERT_TRUE(MakeFile(install_ + L"\\.config"));
  ASSERT_TRUE(MakeFile(install_ + L"\\h.x.y.dll"));
  ASSERT_TRUE(CreateDirectoryW((install_ + L"\\x.y").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((install_ + L"\\Bin").c_str(), nullptr));
  // Numbers in use that do not run from 1: the first gap is found.
  ASSERT_TRUE(MakeFile(install_ + L"\\gap.dll"));
  ASSERT_TRUE(MakeFile(aside_ + L"\\~gap_1.dll"));
  ASSERT_TRUE(MakeFile(aside_ + L"\\~gap_3.dll"));
  // A folder under the name counts as taken too.
  ASSERT_TRUE(MakeFile(install_ + L"\\taken.txt"));
  ASSERT_TRUE(CreateDirectoryW((aside_ + L"\\~taken_1.txt").c_str(), nullptr));
  // A run of 40 numbers in use.
  ASSERT_TRUE(MakeFile(install_ + L"\\many.log"));
  for (int i = 1; i <= 40; ++i) {
    ASSERT_TRUE(MakeFile(aside_ + L"\\~many_" + std::to_wstring(i) + L".log"));
  }

  struct Case {
    std::wstring path;
    std::wstring aside;
    std::wstring target;
    bool is_folder;
  } cases[] = {
      {install_ + L"\\a.dll", aside_, aside_ + L"\\~a_3.dll", false},
      {install_ + L"\\b.tar.gz", aside_, aside_ + L"\\~b_1.tar.gz", false},
      {install_ + L"\\c.TAR.BZ2", aside_, aside_ + L"\\~c_1.TAR.BZ2", false},
      {install_ + L"\\d.tar.z", aside_, aside_ + L"\\~d_1.tar.z", false},
      {install_ + L"\\e.backup.gz", aside_, aside_ + L"\\~e.backup_1.gz", false},
      {install_ + L"\\f..gz", aside_, aside_ + L"\\~f._1.gz", false},
      {install_ + L"\\tar.gz", aside_, aside_ + L"\\~tar_1.gz", false},
      {install_ + L"\\g.tar.xz", aside_, aside_ + L"\\~g.tar_1.xz", false},
      {install_ + L"\\README", aside_, aside_ + L"\\~README_1", false},
      {install_ + L"\\.config", aside_, aside_ + L"\\~_1.config", false},
      {install_ + L"\\h.x.y.dll", aside_, aside_ + L"\\~h.x.y_1.dll", false},
      {install_ + L"\\x.y", aside_, aside_ + L"\\~x.y_1", true},
      {install_ + L"\\Bin\\", aside_ + L"\\", aside_ + L"\\~Bin_1", true},
      {install_ + L"\\gap.dll", aside_, aside_ + L"\\~gap_2.dll", false},
      {install_ + L"\\taken.txt", aside_, aside_ + L"\\~taken_2.txt", false},
      {install_ + L"\\many.log", aside_, aside_ + L"\\~many_41.log", false},
      // No aside folder, or one on another root: a new name in its own folder.
      {install_ + L"\\a.dll", L"", install_ + L"\\~a_1.dll", false},
      {install_ + L"\\a.dll", UnusedDrive() + L"\\kivo_setup_1", install_ + L"\\~a_1.dll", false},
      // Roots are compared exactly: a lower-case drive letter is another root.
      {L"c" + install_.substr(1) + L"\\x.y", aside_, L"c" + install_.substr(1) + L"\\~x.y_1", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(U8(c.path) + " aside " + U8(c.aside));
    std::wstring target = L"<unset>";
    bool is_folder = !c.is_folder;
    ASSERT_TRUE(setup::GetRenameTarget(c.path, c.aside, &target, &is_folder));
    EXPECT_EQ(U8(c.target), U8(target));
    EXPECT_EQ(c.is_folder, is_folder);
  }

  std::wstring target = L"<unset>";
  bool is_folder = false;
  EXPECT_FALSE(setup::GetRenameTarget(install_ + L"\\missing.dll", aside_, &target, &is_folder));
  EXPECT_EQ(L"<unset>", target);
}

TEST(RemoveFileTempDir, FollowsTheInstallationsVolume) {
  const std::wstring temp = TempFolder();
  const std::wstring other = UnusedDrive();
  ASSERT_FALSE(other.empty());
  struct Case {
    const char* what;
    std::wstring install_dir;
    std::wstring base;  // where the folder must be placed
  } cases[] = {
      {"same volume", L"C:\\Program Files (x86)\\Norvane\\Kivo", temp},
      {"same volume, drive letter in lower case", L"c:\\Kivo", temp},
      {"another volume", other + L"\\Norvane\\Kivo", other + L"\\Norvane\\Kivo"},
      {"another volume's root", other + L"\\", other + L"\\"},
  };
  ASSERT_EQ(L'C', temp[0]) << "the cases assume the temporary folder is on C:";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::wstring folder;
    ASSERT_TRUE(setup::GetRemoveFileTempDir(c.install_dir, &folder));
    const std::wstring prefix = base::JoinPath(c.base, L"kivo_setup_");
    ASSERT_EQ(U8(prefix), U8(folder.substr(0, prefix.size())));
    const std::wstring number = folder.substr(prefix.size());
    ASSERT_FALSE(number.empty());
    EXPECT_EQ(std::wstring::npos, number.find_first_not_of(L"0123456789")) << U8(number);
    EXPECT_LE(std::stoi(number), 32766);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(folder.c_str())) << "not created here";
  }

  struct Refused {
    const char* what;
    std::wstring install_dir;
  } refused[] = {
      {"empty", L""},
      {"relative", L"Kivo\\Bin"},
      {"260 units", L"C:\\" + std::wstring(MAX_PATH - 3, L'k')},
  };
  for (const Refused& c : refused) {
    SCOPED_TRACE(c.what);
    std::wstring folder = L"<unset>";
    EXPECT_FALSE(setup::GetRemoveFileTempDir(c.install_dir, &folder));
    EXPECT_EQ(L"<unset>", folder);
  }
}

TEST(RemoveFileTempDir, TemporaryFolderOnAnotherVolume) {
  // GetTempPathW follows this process's TMP.
  wchar_t saved[MAX_PATH] = {};
  const bool had_tmp = GetEnvironmentVariableW(L"TMP", saved, MAX_PATH) != 0;
  const std::wstring other = UnusedDrive();
  SetEnvironmentVariableW(L"TMP", (other + L"\\Temp").c_str());
  std::wstring folder;
  const std::wstring temp = TempFolder();
  const bool chosen = setup::GetRemoveFileTempDir(L"C:\\Kivo", &folder);
  SetEnvironmentVariableW(L"TMP", had_tmp ? saved : nullptr);
  ASSERT_EQ(U8(other + L"\\Temp"), U8(temp)) << "TMP is not followed here";
  ASSERT_TRUE(chosen);
  EXPECT_EQ(0u, folder.find(L"C:\\Kivo\\kivo_setup_")) << U8(folder);
}

TEST(RemoveFileTempDir, SkipsATakenName) {
  // The generator is seeded with the time in seconds: two calls within one
  // second meet the same first name, and the second call must pass it by.
  std::wstring first;
  std::wstring second;
  for (int attempt = 0; attempt < 5; ++attempt) {
    const time_t start = time(nullptr);
    ASSERT_TRUE(setup::GetRemoveFileTempDir(L"C:\\Kivo", &first));
    ASSERT_TRUE(CreateDirectoryW(first.c_str(), nullptr));
    ASSERT_TRUE(setup::GetRemoveFileTempDir(L"C:\\Kivo", &second));
    RemoveDirectoryW(first.c_str());
    if (time(nullptr) == start) break;
  }
  EXPECT_NE(U8(first), U8(second));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(second.c_str()));
}

}  // namespace
