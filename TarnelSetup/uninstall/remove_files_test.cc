#include "TarnelSetup/uninstall/remove_files.h"

#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TarnelSetup/setup_context.h"
#include "base/file_path_util.h"
#include "base/utf_string_conversions.h"
#include "gtest/gtest.h"
#include "tests/support/child_process.h"
#include "tests/support/log_capture.h"
#include "tests/support/pending_renames.h"
#include "tests/support/test_paths.h"

namespace {

typedef std::vector<std::string> Lines;

std::string U8(const std::wstring& text) { return base::WideToUTF8(text); }
std::string Warning(const std::wstring& text) { return "[WARNING:remove_files.cc] " + U8(text); }
std::string Error(const std::wstring& text) { return "[ERROR:remove_files.cc] " + U8(text); }
std::string Info(const std::wstring& text) { return "[INFO:remove_files.cc] " + U8(text); }

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool MakeFile(const std::wstring& path) {
  if (!base::CreateDirectoryPath(base::GetParentPath(path))) return false;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  WriteFile(file, "x", 1, &written, nullptr);
  CloseHandle(file);
  return true;
}

std::vector<std::wstring> EntriesOf(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return names;
}

// Whether |line| starts with |prefix|: for lines that end in a thread's last
// error, whose value the shell leaves behind.
bool StartsWith(const std::string& line, const std::string& prefix) {
  return line.compare(0, prefix.size(), prefix) == 0;
}

// sleeper.exe keeping a DLL loaded or a file open without sharing it for
// deletion, until the test ends.
class InUse {
 public:
  bool Load(const std::wstring& dll) { return Start(L"--load", dll); }
  bool Hold(const std::wstring& file) { return Start(L"--hold", file); }
  void Stop() {
    for (ChildProcess* child : children_) {
      child->Terminate();
      delete child;
    }
    children_.clear();
  }
  ~InUse() { Stop(); }

 private:
  bool Start(const wchar_t* option, const std::wstring& path) {
    const std::wstring ready = TempFilePath(L"kivo_sleeper_ready");
    ChildProcess* child = new ChildProcess();
    children_.push_back(child);
    if (!child->Start(std::wstring(test_paths::kToolsDir) + L"\\sleeper.exe",
                      {option, path, L"--ready", ready})) {
      return false;
    }
    for (int i = 0; i < 300; ++i) {
      if (Exists(ready)) {
        DeleteFileW(ready.c_str());
        return true;
      }
      if (child->Wait(20, nullptr)) return false;  // ended: could not hold it
    }
    return false;
  }
  std::vector<ChildProcess*> children_;
};

class RemoveFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pending_.ok());
    ASSERT_TRUE(log_.ok());
    uninstall::ForgetScheduledAtRestart();
    root_ = TempFilePath(L"kivo_remove");
    install_ = root_ + L"\\Kivo";
    aside_ = root_ + L"\\kivo_setup_1";
    ASSERT_TRUE(base::CreateDirectoryPath(install_));
    ASSERT_TRUE(base::CreateDirectoryPath(aside_));
  }
  void TearDown() override {
    in_use_.Stop();
    uninstall::ForgetScheduledAtRestart();
    base::DeletePath(root_, true);
  }

  std::wstring Path(const std::wstring& relative) const { return install_ + L"\\" + relative; }

  // A copy of the test DLL at |path|, kept loaded by a running process.
  void LoadedDll(const std::wstring& path) {
    ASSERT_TRUE(base::CreateDirectoryPath(base::GetParentPath(path)));
    ASSERT_TRUE(CopyFileW((std::wstring(test_paths::kToolsDir) + L"\\pin_list.dll").c_str(),
                          path.c_str(), FALSE));
    ASSERT_TRUE(in_use_.Load(path));
  }
  void HeldFile(const std::wstring& path) {
    ASSERT_TRUE(MakeFile(path));
    ASSERT_TRUE(in_use_.Hold(path));
  }

  Lines LinesSince(size_t start) const {
    const Lines lines = log_.LinesWithSource();
    return Lines(lines.begin() + std::min(start, lines.size()), lines.end());
  }

  PendingRenamesGuard pending_;  // first made, last restored
  LogCapture log_;
  InUse in_use_;
  std::wstring root_;
  std::wstring install_;
  std::wstring aside_;
};

TEST_F(RemoveFilesTest, DeletePathLoggedOutcomes) {
  struct Case {
    const char* what;
    std::wstring path;
    bool recursive;
    bool result;
    bool gone;
    Lines lines;
  };
  std::vector<Case> cases;
  ASSERT_TRUE(MakeFile(Path(L"plain.txt")));
  cases.push_back({"file", Path(L"plain.txt"), false, true, true, {}});
  ASSERT_TRUE(MakeFile(Path(L"plain2.txt")));
  cases.push_back({"file, recursive", Path(L"plain2.txt"), true, true, true, {}});
  ASSERT_TRUE(base::CreateDirectoryPath(Path(L"empty")));
  cases.push_back({"empty folder", Path(L"empty"), false, true, true, {}});
  ASSERT_TRUE(MakeFile(Path(L"full\\one.txt")));
  ASSERT_TRUE(MakeFile(Path(L"full\\sub\\two.txt")));
  cases.push_back(
      {"folder with files, not recursive: stays whole", Path(L"full"), false, false, false, {}});
  ASSERT_TRUE(MakeFile(Path(L"tree\\one.txt")));
  ASSERT_TRUE(MakeFile(Path(L"tree\\sub\\two.txt")));
  cases.push_back({"tree, recursive", Path(L"tree"), true, true, true, {}});
  cases.push_back(
      {"missing, not recursive",
       Path(L"missing.txt"),
       false,
       true,
       true,
       {Warning(L"DeleteFile( " + Path(L"missing.txt") + L" ) failed with error : 2")}});
  cases.push_back(
      {"missing parent, not recursive",
       Path(L"no\\such.txt"),
       false,
       true,
       true,
       {Warning(L"DeleteFile( " + Path(L"no\\such.txt") + L" ) failed with error : 3")}});
  cases.push_back({"missing, recursive", Path(L"missing"), true, true, true, {}});
  cases.push_back({"missing parent, recursive", Path(L"no\\such"), true, true, true, {}});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const size_t start = log_.Lines().size();
    EXPECT_EQ(c.result, uninstall::DeletePathLogged(c.path, c.recursive));
    EXPECT_EQ(!c.gone, Exists(c.path));
    EXPECT_EQ(c.lines, LinesSince(start));
  }
  EXPECT_TRUE(Exists(Path(L"full\\sub\\two.txt")));
}

TEST_F(RemoveFilesTest, DeletePathLoggedRefusesA260UnitPath) {
  const std::wstring prefix = install_ + L"\\";
  const std::wstring path = prefix + std::wstring(MAX_PATH - prefix.size() - 4, L'n') + L".txt";
  ASSERT_EQ(static_cast<size_t>(MAX_PATH), path.size());
  ASSERT_TRUE(MakeFile(L"\\\\?\\" + path));
  EXPECT_FALSE(uninstall::DeletePathLogged(path, false));
  EXPECT_FALSE(uninstall::DeletePathLogged(path, true));
  EXPECT_FALSE(uninstall::ScheduleDeleteAtRestart(path));
  EXPECT_TRUE(Exists(L"\\\\?\\" + path));
  EXPECT_TRUE(log_.Lines().empty());
  EXPECT_TRUE(pending_.DeletionsUnder(root_).empty());
  DeleteFileW((L"\\\\?\\" + path).c_str());
}

TEST_F(RemoveFilesTest, DeletePathLoggedOfAFileInUse) {
  const std::wstring held = Path(L"data\\held.dat");
  ASSERT_NO_FATAL_FAILURE(HeldFile(held));

  EXPECT_FALSE(uninstall::DeletePathLogged(held, false));
  EXPECT_TRUE(Exists(held));
  Lines lines = log_.LinesWithSource();
  ASSERT_EQ(2u, lines.size());
  EXPECT_EQ(Warning(L"DeleteFile( " + held + L" ) failed with error : 32"), lines[0]);
  EXPECT_TRUE(
      StartsWith(lines[1], Warning(L"SHFileOperation( " + held + L" ) failed with error : ")))
      << lines[1];

  EXPECT_FALSE(uninstall::DeletePathLogged(Path(L"data"), true));
  EXPECT_TRUE(Exists(held));
  lines = LinesSince(2);
  ASSERT_EQ(1u, lines.size());
  EXPECT_TRUE(StartsWith(
      lines[0], Warning(L"SHFileOperation( " + Path(L"data") + L" ) failed with error : ")))
      << lines[0];
}

TEST_F(RemoveFilesTest, IsFolderEmpty) {
  ASSERT_TRUE(base::CreateDirectoryPath(Path(L"empty")));
  ASSERT_TRUE(base::CreateDirectoryPath(Path(L"with_folder\\sub")));
  ASSERT_TRUE(MakeFile(Path(L"with_file\\a.txt")));
  EXPECT_TRUE(uninstall::IsFolderEmpty(Path(L"empty")));
  EXPECT_TRUE(uninstall::IsFolderEmpty(Path(L"missing")));
  EXPECT_FALSE(uninstall::IsFolderEmpty(Path(L"with_folder")));
  EXPECT_FALSE(uninstall::IsFolderEmpty(Path(L"with_file")));
  EXPECT_FALSE(uninstall::IsFolderEmpty(Path(L"with_file\\")));
}

TEST_F(RemoveFilesTest, ListedFilesThatGoAtOnce) {
  ASSERT_TRUE(MakeFile(Path(L"Bin\\a.dll")));
  ASSERT_TRUE(MakeFile(Path(L"Bin\\b.tar.gz")));
  ASSERT_TRUE(MakeFile(Path(L"Bin\\Folder.dll\\inside.txt")));

  uninstall::RemoveListedFile(Path(L"Bin\\a.dll"), aside_);
  uninstall::RemoveListedFile(Path(L"Bin\\b.tar.gz"), aside_);
  uninstall::RemoveListedFile(Path(L"Bin\\missing.dll"), aside_);
  EXPECT_EQ(Lines{}, log_.LinesWithSource());
  EXPECT_FALSE(Exists(Path(L"Bin\\a.dll")));
  EXPECT_FALSE(Exists(Path(L"Bin\\b.tar.gz")));
  EXPECT_TRUE(EntriesOf(aside_).empty()) << "moved aside, then deleted there";

  // A folder named as a file is only moved aside, whole.
  uninstall::RemoveListedFile(Path(L"Bin\\Folder.dll"), aside_);
  EXPECT_EQ(Lines{Warning(L"exist dir to delete a file : " + Path(L"Bin\\Folder.dll"))},
            log_.LinesWithSource());
  EXPECT_FALSE(Exists(Path(L"Bin\\Folder.dll")));
  EXPECT_TRUE(Exists(aside_ + L"\\~Folder.dll_1\\inside.txt"));

  // No aside folder: the move fails and the file is deleted in place.
  ASSERT_TRUE(MakeFile(Path(L"Bin\\c.dll")));
  const std::wstring no_aside = root_ + L"\\kivo_setup_2";
  uninstall::RemoveListedFile(Path(L"Bin\\c.dll"), no_aside);
  EXPECT_EQ(Warning(L"rename " + Path(L"Bin\\c.dll") + L" to " + no_aside + L"\\~c_1.dll failed."),
            log_.LinesWithSource().back());
  EXPECT_EQ(2u, log_.Lines().size());
  EXPECT_FALSE(Exists(Path(L"Bin\\c.dll")));
  EXPECT_TRUE(pending_.DeletionsUnder(root_).empty());
}

TEST_F(RemoveFilesTest, LoadedDllIsMovedAsideAndDeletedAtRestart) {
  const std::wstring dll = Path(L"Bin\\module.dll");
  ASSERT_NO_FATAL_FAILURE(LoadedDll(dll));
  ASSERT_TRUE(MakeFile(aside_ + L"\\~other_1.dll"));
  const std::wstring moved = aside_ + L"\\~module_1.dll";

  uninstall::RemoveListedFile(dll, aside_);
  EXPECT_FALSE(Exists(dll)) << "its place is free at once";
  EXPECT_TRUE(Exists(moved));
  const Lines lines = log_.LinesWithSource();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(Warning(L"DeleteFile( " + moved + L" ) failed with error : 5"), lines.front());
  EXPECT_TRUE(
      StartsWith(lines[1], Warning(L"SHFileOperation( " + moved + L" ) failed with error : ")))
      << lines[1];
  EXPECT_EQ(Warning(L"delete file:" + moved + L" failed."), lines.back());
  EXPECT_EQ(std::vector<std::wstring>{moved}, pending_.DeletionsUnder(root_));
  EXPECT_TRUE(uninstall::IsScheduledAtRestart(moved));
  EXPECT_TRUE(uninstall::IsScheduledAtRestart(L"c" + moved.substr(1)));

  // Its folder is empty now and goes as a Dir entry, silently.
  const size_t before = log_.Lines().size();
  uninstall::RemoveListedDir(Path(L"Bin"), aside_);
  EXPECT_FALSE(Exists(Path(L"Bin")));
  EXPECT_EQ(Lines{}, LinesSince(before));
}

TEST_F(RemoveFilesTest, FileThatCanNeitherMoveNorGoIsScheduledInPlace) {
  const std::wstring held = Path(L"Bin\\held.dat");
  ASSERT_NO_FATAL_FAILURE(HeldFile(held));

  uninstall::RemoveListedFile(held, aside_);
  EXPECT_TRUE(Exists(held));
  const Lines lines = log_.LinesWithSource();
  ASSERT_EQ(4u, lines.size());
  EXPECT_EQ(Warning(L"rename " + held + L" to " + aside_ + L"\\~held_1.dat failed."), lines[0]);
  EXPECT_EQ(Warning(L"DeleteFile( " + held + L" ) failed with error : 32"), lines[1]);
  EXPECT_TRUE(
      StartsWith(lines[2], Warning(L"SHFileOperation( " + held + L" ) failed with error : ")))
      << lines[2];
  EXPECT_EQ(Warning(L"delete file:" + held + L" failed."), lines[3]);
  EXPECT_EQ(std::vector<std::wstring>{held}, pending_.DeletionsUnder(root_));
  EXPECT_TRUE(EntriesOf(aside_).empty());
}

TEST_F(RemoveFilesTest, ListedDirs) {
  ASSERT_TRUE(base::CreateDirectoryPath(Path(L"empty")));
  ASSERT_TRUE(MakeFile(Path(L"user\\my notes.txt")));
  ASSERT_TRUE(MakeFile(Path(L"dir.log")));

  uninstall::RemoveListedDir(Path(L"empty"), aside_);
  uninstall::RemoveListedDir(Path(L"user"), aside_);
  uninstall::RemoveListedDir(Path(L"missing"), aside_);
  EXPECT_EQ(Lines{}, log_.LinesWithSource()) << "a folder in use by the user is left silently";
  EXPECT_FALSE(Exists(Path(L"empty")));
  EXPECT_TRUE(Exists(Path(L"user\\my notes.txt")));
  EXPECT_TRUE(EntriesOf(aside_).empty());

  // A file named as a folder is moved aside and goes with the aside folder.
  uninstall::RemoveListedDir(Path(L"dir.log"), aside_);
  EXPECT_EQ(Lines{Warning(L"exist file to delete a dir : " + Path(L"dir.log"))},
            log_.LinesWithSource());
  EXPECT_FALSE(Exists(Path(L"dir.log")));
  EXPECT_TRUE(Exists(aside_ + L"\\~dir_1.log"));

  // Without an aside folder an empty folder is removed in place.
  ASSERT_TRUE(base::CreateDirectoryPath(Path(L"empty2")));
  uninstall::RemoveListedDir(Path(L"empty2"), root_ + L"\\kivo_setup_2");
  EXPECT_FALSE(Exists(Path(L"empty2")));
  EXPECT_EQ(Warning(L"rename " + Path(L"empty2") + L" to " + root_ +
                    L"\\kivo_setup_2\\~empty2_1 failed."),
            log_.LinesWithSource().back());
  EXPECT_TRUE(pending_.DeletionsUnder(root_).empty());
}

// Folders whose last files wait for the restart wait with them, after them,
// children before parents; a folder with anything else in it stays.
TEST_F(RemoveFilesTest, DirsHoldingOnlyScheduledEntriesAreScheduledAfterThem) {
  const std::wstring held = Path(L"Plugin\\Audio\\held.dat");
  const std::wstring held_too = Path(L"Data\\held.dat");
  ASSERT_NO_FATAL_FAILURE(HeldFile(held));
  ASSERT_NO_FATAL_FAILURE(HeldFile(held_too));
  ASSERT_TRUE(MakeFile(Path(L"Plugin\\Audio\\free.dll")));
  ASSERT_TRUE(MakeFile(Path(L"Data\\user's own.txt")));

  // The File entries, then the Dir entries longest first.
  for (const std::wstring& file : {held, Path(L"Plugin\\Audio\\free.dll"), held_too}) {
    uninstall::RemoveListedFile(file, aside_);
  }
  const size_t before = log_.Lines().size();
  for (const std::wstring& dir : {Path(L"Plugin\\Audio"), Path(L"Plugin"), Path(L"Data")}) {
    uninstall::RemoveListedDir(dir, aside_);
  }

  const std::wstring announce =
      L"dir holds only files deleted after reboot, delete after reboot : ";
  EXPECT_EQ(
      (Lines{Warning(announce + Path(L"Plugin\\Audio")), Warning(announce + Path(L"Plugin"))}),
      LinesSince(before));
  EXPECT_EQ((std::vector<std::wstring>{held, held_too, Path(L"Plugin\\Audio"), Path(L"Plugin")}),
            pending_.DeletionsUnder(root_));
  EXPECT_TRUE(Exists(Path(L"Data\\user's own.txt")));

  // A folder is scheduled only once its entries are: a parent that comes
  // before its child in the list stays.
  uninstall::ForgetScheduledAtRestart();
  const std::wstring deep = Path(L"Deep\\Sub\\held.dat");
  ASSERT_NO_FATAL_FAILURE(HeldFile(deep));
  uninstall::RemoveListedFile(deep, aside_);
  uninstall::RemoveListedDir(Path(L"Deep"), aside_);
  uninstall::RemoveListedDir(Path(L"Deep\\Sub"), aside_);
  const std::vector<std::wstring> pending = pending_.DeletionsUnder(Path(L"Deep"));
  EXPECT_EQ((std::vector<std::wstring>{deep, Path(L"Deep\\Sub")}), pending);
}

// Documents and AppData of this process are redirected into the test's
// folder through a per-process HKEY_CURRENT_USER.
class BuiltInFoldersTest : public RemoveFilesTest {
 protected:
  void SetUp() override {
    RemoveFilesTest::SetUp();
    documents_ = root_ + L"\\Documents";
    app_data_ = root_ + L"\\Roaming";
    ASSERT_TRUE(base::CreateDirectoryPath(documents_));
    ASSERT_TRUE(base::CreateDirectoryPath(app_data_));
    fake_user_path_ =
        L"Software\\KivoTest\\BuiltInFolders_" + std::to_wstring(GetCurrentProcessId());
    RegDeleteTreeW(HKEY_CURRENT_USER, fake_user_path_.c_str());
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, fake_user_path_.c_str(), 0, nullptr,
                                             0, KEY_ALL_ACCESS, nullptr, &fake_user_, nullptr));
    HKEY folders = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(fake_user_,
                              L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User "
                              L"Shell Folders",
                              0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &folders, nullptr));
    SetString(folders, L"Personal", documents_);
    SetString(folders, L"AppData", app_data_);
    RegCloseKey(folders);
    ASSERT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_CURRENT_USER, fake_user_));
  }
  void TearDown() override {
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    if (fake_user_) RegCloseKey(fake_user_);
    RegDeleteTreeW(HKEY_CURRENT_USER, fake_user_path_.c_str());
    RemoveFilesTest::TearDown();
  }
  static void SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  }

  std::wstring documents_;
  std::wstring app_data_;
  std::wstring fake_user_path_;
  HKEY fake_user_ = nullptr;
};

TEST_F(BuiltInFoldersTest, MiniAppFolder) {
  wchar_t documents[MAX_PATH] = {};
  ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, documents, CSIDL_PERSONAL, FALSE));
  ASSERT_EQ(U8(documents_), U8(documents)) << "Documents is not redirected";

  const std::wstring mini_app = documents_ + L"\\Norvane Files\\Kivo\\global\\nt_data\\MiniApp";
  uninstall::RemoveMiniAppFolder();
  EXPECT_EQ(Lines{Error(L"mini_app_path not exist")}, log_.LinesWithSource());

  ASSERT_TRUE(MakeFile(mini_app + L"\\app1\\index.js"));
  ASSERT_TRUE(MakeFile(documents_ + L"\\Norvane Files\\Kivo\\global\\nt_data\\keep.db"));
  uninstall::RemoveMiniAppFolder();
  EXPECT_EQ(Info(L"mini_app_path = " + mini_app), log_.LinesWithSource().back());
  EXPECT_FALSE(Exists(mini_app));
  EXPECT_TRUE(Exists(documents_ + L"\\Norvane Files\\Kivo\\global\\nt_data\\keep.db"));
}

TEST_F(BuiltInFoldersTest, VersionFolders) {
  SetupContext* context = SetupContext::GetInstance();
  context->SetWString("AppdataPath", L"<untouched>");
  context->SetWString("PreviousInstallPath", install_ + L"/");

  uninstall::RemoveAppDataVersions();
  uninstall::RemoveInstallVersions(L"versions");
  EXPECT_EQ((Lines{Error(L"versions not exist"), Error(L"versions not exist")}),
            log_.LinesWithSource());
  std::wstring stored;
  context->GetWString("AppdataPath", &stored);
  EXPECT_EQ(U8(app_data_), U8(stored));

  const std::wstring app_versions = app_data_ + L"\\Kivo\\versions";
  const std::wstring install_versions = install_ + L"\\resources\\app\\versions";
  ASSERT_TRUE(MakeFile(app_versions + L"\\9.1.0\\core.dll"));
  ASSERT_TRUE(MakeFile(install_versions + L"\\9.1.0\\app.asar"));
  ASSERT_TRUE(MakeFile(install_ + L"\\resources\\app\\keep.txt"));
  size_t before = log_.Lines().size();
  uninstall::RemoveAppDataVersions();
  uninstall::RemoveInstallVersions(L"resources\\app\\versions");
  EXPECT_EQ((Lines{Info(L"versions_path = " + app_versions), Error(L"versions not exist"),
                   Info(L"versions_path = " + install_versions), Error(L"versions not exist")}),
            LinesSince(before));
  EXPECT_FALSE(Exists(app_versions));
  EXPECT_FALSE(Exists(install_versions));
  EXPECT_TRUE(Exists(install_ + L"\\resources\\app\\keep.txt"));

  // A file in use keeps its version folder.
  const std::wstring held = install_ + L"\\versions\\9.1.0\\held.dll";
  ASSERT_NO_FATAL_FAILURE(HeldFile(held));
  before = log_.Lines().size();
  uninstall::RemoveInstallVersions(L"versions");
  const Lines lines = LinesSince(before);
  ASSERT_EQ(3u, lines.size());
  EXPECT_EQ(Info(L"versions_path = " + install_ + L"\\versions"), lines[0]);
  EXPECT_TRUE(StartsWith(
      lines[1], Warning(L"SHFileOperation( " + install_ + L"\\versions ) failed with error : ")))
      << lines[1];
  EXPECT_EQ(Error(L"versions exist"), lines[2]);
  EXPECT_TRUE(Exists(held));
}

}  // namespace
