#include "base/shortcut_util.h"

#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

#include <string>

#include "base/file_path_util.h"
#include "gtest/gtest.h"
#include "tests/support/shortcut_for_test.h"

namespace {

enum class LinkFile { kToFile, kToFolder, kToShellFolder, kNotAShortcut, kMissing };

struct ResolveCase {
  const char* name;
  LinkFile file;
  bool resolves;
  // Expected path afterwards: the target, the shortcut itself (untouched) or
  // empty.
  enum { kTarget, kUntouched, kEmpty } path;
};

void PrintTo(const ResolveCase& c, std::ostream* out) { *out << c.name; }

class ResolveLinkTargetTest : public testing::TestWithParam<ResolveCase> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    wchar_t temp[MAX_PATH];
    ASSERT_NE(0u, GetTempPathW(MAX_PATH, temp));
    folder_ = base::JoinPath(temp, L"kivo-resolve-" + std::to_wstring(GetCurrentProcessId()));
    ASSERT_TRUE(base::CreateDirectoryPath(folder_));
    program_ = base::JoinPath(folder_, L"App.exe");
    HANDLE file =
        CreateFileW(program_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    CloseHandle(file);
  }
  void TearDown() override {
    base::DeletePath(folder_, true);
    CoUninitialize();
  }

  std::wstring folder_;
  std::wstring program_;
};

TEST_P(ResolveLinkTargetTest, ReplacesTheShortcutPathByItsTarget) {
  const ResolveCase& c = GetParam();
  const std::wstring link = base::JoinPath(folder_, L"Pinned.lnk");
  std::wstring target;
  switch (c.file) {
    case LinkFile::kToFile:
      target = program_;
      ASSERT_EQ(S_OK, MakeShortcut(link, target));
      break;
    case LinkFile::kToFolder:
      target = folder_;
      ASSERT_EQ(S_OK, MakeShortcut(link, target));
      break;
    case LinkFile::kToShellFolder:
      ASSERT_EQ(S_OK, MakeShellFolderShortcut(link, CSIDL_DRIVES));
      break;
    case LinkFile::kNotAShortcut: {
      HANDLE file = CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
      ASSERT_NE(INVALID_HANDLE_VALUE, file);
      const char junk[] = "not a shell link";
      DWORD written = 0;
      WriteFile(file, junk, sizeof(junk), &written, nullptr);
      CloseHandle(file);
      break;
    }
    case LinkFile::kMissing:
      break;
  }

  std::wstring path = link;
  EXPECT_EQ(c.resolves, base::ResolveLinkTarget(&path));
  switch (c.path) {
    case ResolveCase::kTarget:
      EXPECT_EQ(target, path);
      break;
    case ResolveCase::kUntouched:
      EXPECT_EQ(link, path);
      break;
    case ResolveCase::kEmpty:
      EXPECT_EQ(L"", path);
      break;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Shortcuts, ResolveLinkTargetTest,
    testing::Values(
        ResolveCase{"ToAFile", LinkFile::kToFile, true, ResolveCase::kTarget},
        ResolveCase{"ToAFolder", LinkFile::kToFolder, true, ResolveCase::kTarget},
        // My Computer: a target outside the file system.
        ResolveCase{"ToAShellFolder", LinkFile::kToShellFolder, true, ResolveCase::kEmpty},
        ResolveCase{"NotAShortcut", LinkFile::kNotAShortcut, false, ResolveCase::kUntouched},
        ResolveCase{"MissingFile", LinkFile::kMissing, false, ResolveCase::kUntouched}),
    [](const testing::TestParamInfo<ResolveCase>& info) { return std::string(info.param.name); });

}  // namespace
