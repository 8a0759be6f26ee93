#include "base/file_path_util.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/utf_string_conversions.h"
#include "tests/support/log_capture.h"
#include "tests/support/pending_renames.h"
#include "tests/support/test_files.h"

namespace {

using base::CreateDirectoryPath;
using base::DeletePath;
using base::ScheduleDeleteOnReboot;
using test_files::Exists;
using test_files::IsDirectory;
using test_files::RemoveTree;

std::string Printable(const std::wstring& text) { return base::WideToUTF8(text); }

// --- path text ----------------------------------------------------------------

TEST(PathText, Join) {
  struct Case {
    const wchar_t* base;
    const wchar_t* relative;
    const wchar_t* expected;
  } cases[] = {
      {L"C:\\a\\", L"b", L"C:\\a\\b"},
      {L"C:\\a", L"b", L"C:\\a\\b"},
      {L"C:\\a\\\\", L"b", L"C:\\a\\b"},
      {L"C:\\", L"b", L"C:\\b"},
      {L"C:\\\\", L"b", L"C:\\b"},
      {L"C:/", L"b", L"C:/b"},
      {L"C:/a/", L"b", L"C:/a\\b"},
      {L"", L"b", L"b"},
      {L"C:", L"b", L"C:b"},
      {L"\\", L"b", L"\\b"},
      {L"\\\\server\\share\\", L"b", L"\\\\server\\share\\b"},
      {L"Norvane", L"Kivo\\STemp", L"Norvane\\Kivo\\STemp"},
      {L"C:\\a\\", L"", L"C:\\a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Printable(c.base) + " + " + Printable(c.relative));
    EXPECT_EQ(Printable(c.expected), Printable(base::JoinPath(c.base, c.relative)));
  }
}

TEST(PathText, NormaliseParentAndFileName) {
  struct Case {
    const wchar_t* path;
    const wchar_t* normalized;
    const wchar_t* parent;
    const wchar_t* file_name;
  } cases[] = {
      {L"C:/a/b/", L"C:\\a\\b", L"C:/a", L""},
      {L"C:\\a\\b", L"C:\\a\\b", L"C:\\a", L"b"},
      {L"C:\\a\\\\", L"C:\\a", L"C:\\", L""},
      {L"C:\\a", L"C:\\a", L"C:\\", L"a"},
      {L"C:\\", L"C:\\", L"C:\\", L""},
      {L"C:/", L"C:\\", L"C:/", L""},
      {L"C:", L"C:", L"C:", L"C:"},
      {L"C:a", L"C:a", L"C:", L"C:a"},
      {L"a/", L"a", L".", L""},
      {L"a\\b", L"a\\b", L"a", L"b"},
      {L"\\a", L"\\a", L"\\", L"a"},
      {L"\\\\", L"\\", L"\\", L""},
      {L"", L"", L"", L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Printable(c.path));
    EXPECT_EQ(Printable(c.normalized), Printable(base::NormalizePath(c.path)));
    EXPECT_EQ(Printable(c.parent), Printable(base::GetParentPath(c.path)));
    EXPECT_EQ(Printable(c.file_name), Printable(base::GetFileName(c.path)));
  }
}

// --- on the file system ---------------------------------------------------------

bool MakeFile(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  WriteFile(file, "x", 1, &written, nullptr);
  CloseHandle(file);
  return true;
}

class FileSystemTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(log_.ok());
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    root_ = std::wstring(temp) + L"kivo_fs_test_" + std::to_wstring(GetCurrentProcessId());
    RemoveTree(root_);
    ASSERT_TRUE(CreateDirectoryW(root_.c_str(), nullptr));
  }
  void TearDown() override { RemoveTree(L"\\\\?\\" + root_); }

  std::wstring Path(const std::wstring& relative) const { return root_ + L"\\" + relative; }

  // folder\{one.txt, sub\{two.txt, deeper\three.txt}}
  std::wstring MakeTree(const std::wstring& name) {
    std::wstring folder = Path(name);
    EXPECT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    EXPECT_TRUE(MakeFile(folder + L"\\one.txt"));
    EXPECT_TRUE(CreateDirectoryW((folder + L"\\sub").c_str(), nullptr));
    EXPECT_TRUE(MakeFile(folder + L"\\sub\\two.txt"));
    EXPECT_TRUE(CreateDirectoryW((folder + L"\\sub\\deeper").c_str(), nullptr));
    EXPECT_TRUE(MakeFile(folder + L"\\sub\\deeper\\three.txt"));
    return folder;
  }

  // A file whose full path is exactly |length| units, made through \\?\.
  std::wstring MakeFileOfPathLength(size_t length) {
    std::wstring prefix = root_ + L"\\";
    EXPECT_LT(prefix.size() + 10, length);
    std::wstring path = prefix + std::wstring(length - prefix.size() - 4, L'n') + L".txt";
    EXPECT_EQ(length, path.size());
    EXPECT_TRUE(MakeFile(L"\\\\?\\" + path));
    return path;
  }

  LogCapture log_;
  std::wstring root_;
};

TEST_F(FileSystemTest, CreateDirectoryPath) {
  const std::wstring nested = Path(L"a\\b\\c");
  EXPECT_TRUE(CreateDirectoryPath(nested));
  EXPECT_TRUE(IsDirectory(nested));
  // Existing folder: true, nothing new.
  EXPECT_TRUE(CreateDirectoryPath(Path(L"a")));
  EXPECT_TRUE(CreateDirectoryPath(Path(L"a\\b\\c\\")));

  ASSERT_TRUE(MakeFile(Path(L"file")));
  EXPECT_FALSE(CreateDirectoryPath(Path(L"file")));        // the path is a file
  EXPECT_FALSE(CreateDirectoryPath(Path(L"file\\x\\y")));  // a parent is a file
  EXPECT_FALSE(Exists(Path(L"file\\x")));
  EXPECT_FALSE(IsDirectory(Path(L"file")));

  // A root that does not exist cannot be made.
  DWORD drives = GetLogicalDrives();
  wchar_t letter = 0;
  for (wchar_t c = L'Y'; c > L'D'; --c) {
    if (!(drives & (1u << (c - L'A')))) {
      letter = c;
      break;
    }
  }
  ASSERT_NE(0, letter);
  EXPECT_FALSE(CreateDirectoryPath(std::wstring(1, letter) + L":\\kivo\\x"));
}

TEST_F(FileSystemTest, DeleteOutcomes) {
  struct Case {
    const char* what;
    std::wstring path;
    bool recursive;
    bool result;
    bool gone;
    std::vector<std::string> log;
  };
  std::vector<Case> cases;
  ASSERT_TRUE(MakeFile(Path(L"plain.txt")));
  cases.push_back({"file, not recursive", Path(L"plain.txt"), false, true, true, {}});
  ASSERT_TRUE(MakeFile(Path(L"plain2.txt")));
  cases.push_back({"file, recursive", Path(L"plain2.txt"), true, true, true, {}});
  ASSERT_TRUE(CreateDirectoryW(Path(L"empty").c_str(), nullptr));
  cases.push_back({"empty folder, not recursive", Path(L"empty"), false, true, true, {}});
  cases.push_back({"tree, not recursive: left whole", MakeTree(L"tree1"), false, false, false, {}});
  cases.push_back({"tree, recursive", MakeTree(L"tree2"), true, true, true, {}});
  cases.push_back({"tree named with a trailing separator, not recursive",
                   MakeTree(L"tree3") + L"\\",
                   false,
                   false,
                   false,
                   {}});
  // A pattern names no object: neither matching files nor folders go.
  cases.push_back({"pattern, not recursive: nothing matched is touched",
                   Path(L"tree*"),
                   false,
                   false,
                   true,
                   {"DeleteFile failed with 123"}});
  cases.push_back({"missing, recursive", Path(L"missing"), true, true, true, {}});
  cases.push_back({"missing parent, recursive", Path(L"no\\such"), true, true, true, {}});
  cases.push_back({"missing, not recursive",
                   Path(L"missing"),
                   false,
                   true,
                   true,
                   {"DeleteFile failed with 2"}});
  cases.push_back({"missing parent, not recursive",
                   Path(L"no\\such"),
                   false,
                   true,
                   true,
                   {"DeleteFile failed with 3"}});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    size_t lines_before = log_.Lines().size();
    EXPECT_EQ(c.result, DeletePath(c.path, c.recursive));
    EXPECT_EQ(!c.gone, Exists(c.path));
    std::vector<std::string> lines = log_.Lines();
    EXPECT_EQ(c.log, std::vector<std::string>(lines.begin() + lines_before, lines.end()));
  }
  // The folders that must stay are complete.
  for (const wchar_t* folder : {L"tree1", L"tree3"}) {
    SCOPED_TRACE(Printable(folder));
    EXPECT_TRUE(Exists(Path(folder) + L"\\one.txt"));
    EXPECT_TRUE(Exists(Path(folder) + L"\\sub\\two.txt"));
    EXPECT_TRUE(Exists(Path(folder) + L"\\sub\\deeper\\three.txt"));
  }
}

TEST_F(FileSystemTest, PathOf260UnitsIsRefusedWithoutEffect) {
  const std::wstring too_long = MakeFileOfPathLength(MAX_PATH);
  const std::wstring longest = MakeFileOfPathLength(MAX_PATH - 1);
  ASSERT_TRUE(Exists(L"\\\\?\\" + too_long));

  EXPECT_FALSE(DeletePath(too_long, true));
  EXPECT_FALSE(DeletePath(too_long, false));
  EXPECT_TRUE(Exists(L"\\\\?\\" + too_long));
  EXPECT_TRUE(log_.Lines().empty());

  EXPECT_TRUE(DeletePath(longest, false));
  EXPECT_FALSE(Exists(longest));
}

TEST_F(FileSystemTest, FileHeldOpenWithoutShareDelete) {
  const std::wstring folder = Path(L"held");
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  const std::wstring file = folder + L"\\locked.dll";
  ASSERT_TRUE(MakeFile(file));
  HANDLE held = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);

  EXPECT_FALSE(DeletePath(file, false));
  EXPECT_TRUE(Exists(file));
  EXPECT_EQ(
      (std::vector<std::string>{"DeleteFile failed with 32", "SHFileOperation failed with 32"}),
      log_.Lines());

  EXPECT_FALSE(DeletePath(folder, true));
  EXPECT_TRUE(Exists(file));
  std::vector<std::string> lines = log_.Lines();
  ASSERT_EQ(3u, lines.size());
  EXPECT_EQ("SHFileOperation failed with 32", lines[2]);

  CloseHandle(held);
  EXPECT_TRUE(DeletePath(folder, true));
  EXPECT_FALSE(Exists(folder));
}

struct FlipState {
  std::wstring path;
  volatile LONG stop = 0;
  LONG trees_lost = 0;
  LONG flips = 0;
};

// Makes |path| a folder with a file in it, then takes both away again by
// hand, over and over. The file only goes missing if something deleted the
// folder recursively.
DWORD WINAPI FlipFolder(void* param) {
  FlipState* state = static_cast<FlipState*>(param);
  const std::wstring keep = state->path + L"\\keep.txt";
  while (!state->stop) {
    if (!CreateDirectoryW(state->path.c_str(), nullptr)) continue;
    if (!MakeFile(keep)) {
      RemoveDirectoryW(state->path.c_str());
      continue;
    }
    Sleep(0);
    if (!DeleteFileW(keep.c_str())) ++state->trees_lost;
    RemoveDirectoryW(state->path.c_str());
    ++state->flips;
  }
  return 0;
}

TEST_F(FileSystemTest, NotRecursiveNeverTakesAFolderThatAppearsMeanwhile) {
  FlipState state;
  state.path = Path(L"flip");
  HANDLE thread = CreateThread(nullptr, 0, &FlipFolder, &state, 0, nullptr);
  ASSERT_TRUE(thread);
  const DWORD start = GetTickCount();
  int calls = 0;
  while (GetTickCount() - start < 3000) {
    DeletePath(state.path, false);
    ++calls;
  }
  InterlockedExchange(&state.stop, 1);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  EXPECT_GT(state.flips, 0);
  EXPECT_GT(calls, 0);
  EXPECT_EQ(0, state.trees_lost) << "a folder was deleted with its content";
}

// The restart-time list the system keeps; restored after each test.
// The restart-time list is put back as it was when each test ends.
class PendingDeletesTest : public FileSystemTest {
 protected:
  void SetUp() override {
    FileSystemTest::SetUp();
    ASSERT_TRUE(pending_.ok());
  }
  // The list's strings, in order (pairs of source and target).
  std::vector<std::wstring> Entries() const { return pending_.Entries(); }

  PendingRenamesGuard pending_;
};

TEST_F(PendingDeletesTest, RegistrationIsAppendedAsDeletePair) {
  const std::wstring file = Path(L"in use.dll");
  ASSERT_TRUE(MakeFile(file));
  const std::vector<std::wstring> before = Entries();

  EXPECT_TRUE(ScheduleDeleteOnReboot(file));
  std::vector<std::wstring> after = Entries();
  ASSERT_GE(after.size(), before.size() + 2);
  // Appended at the end: the path in NT form, then an empty target.
  EXPECT_EQ(Printable(L"\\??\\" + file), Printable(after[after.size() - 2]));
  EXPECT_EQ(L"", after.back());
  EXPECT_TRUE(Exists(file)) << "only registered, not deleted";
}

TEST_F(PendingDeletesTest, PathOf260UnitsRegistersNothing) {
  const std::wstring too_long = MakeFileOfPathLength(MAX_PATH);
  const std::vector<std::wstring> before = Entries();
  EXPECT_FALSE(ScheduleDeleteOnReboot(too_long));
  EXPECT_EQ(before, Entries());
}

}  // namespace

// Child mode for the end-to-end tests, which run it inside a machine and then
// restart that machine: each line of the UTF-8 file named by
// KIVO_FS_OPS_FILE is "delete|PATH", "delete-tree|PATH" or "schedule|PATH";
// the results go to KIVO_FS_RESULTS_FILE as "op|PATH|0 or 1" lines.
TEST(FileSystemChild, DISABLED_RunOperations) {
  auto env = [](const wchar_t* name) {
    wchar_t value[MAX_PATH] = {};
    GetEnvironmentVariableW(name, value, MAX_PATH);
    return std::wstring(value);
  };
  HANDLE in = CreateFileW(env(L"KIVO_FS_OPS_FILE").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                          OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, in);
  std::string ops(1 << 16, '\0');
  DWORD read = 0;
  ReadFile(in, &ops[0], static_cast<DWORD>(ops.size()), &read, nullptr);
  CloseHandle(in);
  ops.resize(read);

  std::string results;
  size_t start = 0;
  while (start < ops.size()) {
    size_t end = ops.find('\n', start);
    if (end == std::string::npos) end = ops.size();
    std::string line = ops.substr(start, end - start);
    start = end + 1;
    size_t bar = line.find('|');
    if (bar == std::string::npos) continue;
    std::string op = line.substr(0, bar);
    std::wstring path = base::UTF8ToWide(line.substr(bar + 1));
    bool result = false;
    if (op == "delete")
      result = DeletePath(path, false);
    else if (op == "delete-tree")
      result = DeletePath(path, true);
    else if (op == "schedule")
      result = ScheduleDeleteOnReboot(path);
    else
      ADD_FAILURE() << "unknown operation " << op;
    results += line + "|" + (result ? "1" : "0") + "\n";
  }
  HANDLE out = CreateFileW(env(L"KIVO_FS_RESULTS_FILE").c_str(), GENERIC_WRITE, 0, nullptr,
                           CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, out);
  DWORD written = 0;
  WriteFile(out, results.data(), static_cast<DWORD>(results.size()), &written, nullptr);
  CloseHandle(out);
}
