#include "TarnelSetup/uninstall/clear_install_dir.h"

#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "TarnelSetup/setup_context.h"
#include "TarnelSetup/task_class_registry.h"
#include "TarnelSetup/uninstall/remove_files.h"
#include "base/file_path_util.h"
#include "base/logging.h"
#include "base/utf_string_conversions.h"
#include "gtest/gtest.h"
#include "tests/support/child_process.h"
#include "tests/support/log_capture.h"
#include "tests/support/pending_renames.h"
#include "tests/support/test_files.h"

namespace {

using test_files::Exists;
using test_files::HeldFile;
using test_files::RemoveTree;
using test_files::Tree;

typedef std::vector<std::string> Lines;
typedef std::vector<PendingRenamesGuard::Operation> Operations;

const wchar_t kProductKey[] = L"Software\\Norvane\\KivoNT";
const wchar_t kMakerKey[] = L"Software\\Norvane";

std::string Info(const std::string& text) { return "[INFO:clear_install_dir.cc] " + text; }

std::wstring ShellFolder(int csidl) {
  wchar_t buffer[MAX_PATH] = {};
  if (SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer) != S_OK) return L"";
  return buffer;
}

bool MakeFile(const std::wstring& path, const std::string& bytes = "x") {
  return test_files::WriteBytes(path, bytes);
}

bool KeyExists(const wchar_t* subkey) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

bool ValueExists(const wchar_t* subkey, const wchar_t* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  const bool found = RegQueryValueExW(key, name, nullptr, nullptr, nullptr, nullptr) == 0;
  RegCloseKey(key);
  return found;
}

bool SetValue(const wchar_t* subkey, const wchar_t* name, const std::wstring& data) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, subkey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const LONG result =
      RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                     static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

void DeleteKeyTree(const wchar_t* subkey) {
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, subkey);
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, subkey);
}

// The task's real base folders in the build's prefix, an installation in
// the temporary folder, the product key and the restart-time list; all put
// back afterwards.
class ClearInstallDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(capture_.ok());
    ASSERT_TRUE(pending_.ok());
    uninstall::ForgetScheduledAtRestart();
    app_data_ = ShellFolder(CSIDL_APPDATA);
    local_app_data_ = ShellFolder(CSIDL_LOCAL_APPDATA);
    common_files_ = ShellFolder(CSIDL_PROGRAM_FILES_COMMON);
    ASSERT_FALSE(app_data_.empty());
    ASSERT_FALSE(local_app_data_.empty());
    ASSERT_FALSE(common_files_.empty());
    had_maker_key_ = KeyExists(kMakerKey);
    had_product_key_ = KeyExists(kProductKey);
    had_google_ = Exists(base::JoinPath(local_app_data_, L"Google"));

    install_dir_ = TempFilePath(L"kivo_clear_install");
    ASSERT_TRUE(base::CreateDirectoryPath(install_dir_));
    SetDirs(install_dir_, L"");
  }

  void TearDown() override {
    RemoveTree(install_dir_);
    for (const std::wstring& folder : CreatedFolders()) RemoveTree(folder);
    if (!had_google_) RemoveTree(base::JoinPath(local_app_data_, L"Google"));
    if (!had_product_key_) DeleteKeyTree(kProductKey);
    if (!had_maker_key_) DeleteKeyTree(kMakerKey);
    uninstall::ForgetScheduledAtRestart();
  }

  // What these tests may create outside the installation.
  std::vector<std::wstring> CreatedFolders() const {
    return {AppData(L"Norvane\\Kivo\\AUTemp"),
            AppData(L"Norvane\\Kivo\\PluginCommon"),
            AppData(L"Norvane\\Kivo\\KivoCloud"),
            AppData(L"Norvane\\Kivo\\ClearTestNeighbour"),
            ChromePlugins(L""),
            Common(L"Norvane\\Npchrome"),
            Common(L"Norvane\\npkscall")};
  }

  static void SetDirs(const std::wstring& previous, const std::wstring& fresh) {
    SetupContext::GetInstance()->SetWString("PreviousInstallPath", previous);
    SetupContext::GetInstance()->SetWString("InstallPath", fresh);
  }

  std::wstring AppData(const std::wstring& relative) const {
    return base::JoinPath(app_data_, relative);
  }
  std::wstring ChromePlugins(const std::wstring& name) const {
    return base::JoinPath(base::JoinPath(local_app_data_, L"Google\\Chrome\\Application\\plugins"),
                          name);
  }
  std::wstring Common(const std::wstring& relative) const {
    return base::JoinPath(common_files_, relative);
  }
  std::wstring Install(const std::wstring& relative) const {
    return base::JoinPath(install_dir_, relative);
  }

  // The task as the engine runs it: on a thread of its own.
  static void RunTask() {
    std::thread([] { uninstall::ClearInstallDir().Run(nullptr); }).join();
  }

  // The task's own lines (those of the delete helper left out).
  Lines TaskLines() const {
    Lines lines;
    for (const std::string& line : capture_.LinesWithSource()) {
      if (line.find(":clear_install_dir.cc] ") != std::string::npos) lines.push_back(line);
    }
    return lines;
  }

  LogCapture capture_;
  PendingRenamesGuard pending_;
  std::wstring app_data_, local_app_data_, common_files_, install_dir_;
  bool had_maker_key_ = false;
  bool had_product_key_ = false;
  bool had_google_ = false;
};

TEST_F(ClearInstallDirTest, RegisteredUnderItsName) {
  std::unique_ptr<task::TaskBase> task(
      task::TaskClassRegistry::Global().CreateTask("ClearInstallDir"));
  EXPECT_NE(nullptr, dynamic_cast<uninstall::ClearInstallDir*>(task.get()));
}

// Whether the folders that the task empties hold something of someone else.
struct NeighbourCase {
  const char* name;
  bool with_neighbours;
};

class EveryLeftoverTest : public ClearInstallDirTest,
                          public ::testing::WithParamInterface<NeighbourCase> {};

TEST_P(EveryLeftoverTest, IsRemovedAndOnlyEmptiedFoldersGo) {
  const bool neighbours = GetParam().with_neighbours;
  const std::vector<std::wstring> leftovers = {
      AppData(L"Norvane\\Kivo\\AUTemp\\update.bin"),
      AppData(L"Norvane\\Kivo\\PluginCommon\\sub\\common.dat"),
      AppData(L"Norvane\\Kivo\\KivoCloud\\cloud\\cache.db"),
      Install(L"Bin\\KivoCloud.dll"),
      Install(L"Plugin\\Com.Norvane.RovIrad\\manifest.json"),
      ChromePlugins(L"npactivex.dll"),
      ChromePlugins(L"npchrome.dll"),
      Common(L"Norvane\\Npchrome\\npchrome.dll"),
      Common(L"Norvane\\npkscall\\npkscall.dll"),
      Install(L"Bin\\ZIRUZ\\a\\b.txt"),
      Install(L"Plugin\\Com.Norvane.Krel\\krel.dll"),
      Install(L"Plugin\\Com.Norvane.AudioVideo\\codecs\\av.dll"),
  };
  for (const std::wstring& path : leftovers) ASSERT_TRUE(MakeFile(path)) << base::WideToUTF8(path);
  // Never named by the task.
  const std::vector<std::wstring> kept = {
      AppData(L"Norvane\\Kivo\\ClearTestNeighbour\\keep.txt"),
      ChromePlugins(L"other.dll"),
      Install(L"Kivo.exe"),
  };
  for (const std::wstring& path : kept) ASSERT_TRUE(MakeFile(path));
  const std::vector<std::wstring> neighbour_files = {Install(L"Bin\\other.dll"),
                                                     Install(L"Plugin\\Com.Norvane.Other\\o.txt"),
                                                     Common(L"Norvane\\npkscall\\readme.txt")};
  if (neighbours) {
    for (const std::wstring& path : neighbour_files) ASSERT_TRUE(MakeFile(path));
  }
  ASSERT_TRUE(SetValue(kProductKey, L"oversion", L"8.0.0"));
  ASSERT_TRUE(SetValue(kProductKey, L"version", L"9.1.0.100"));

  RunTask();

  for (const std::wstring& path : leftovers) {
    EXPECT_FALSE(Exists(path)) << base::WideToUTF8(path);
  }
  for (const wchar_t* folder :
       {L"Norvane\\Kivo\\AUTemp", L"Norvane\\Kivo\\PluginCommon", L"Norvane\\Kivo\\KivoCloud"}) {
    EXPECT_FALSE(Exists(AppData(folder))) << base::WideToUTF8(folder);
  }
  for (const std::wstring& path : kept) EXPECT_TRUE(Exists(path)) << base::WideToUTF8(path);
  // The Npchrome folder is never removed, even empty.
  EXPECT_TRUE(Exists(Common(L"Norvane\\Npchrome")));
  if (neighbours) {
    for (const std::wstring& path : neighbour_files) EXPECT_TRUE(Exists(path));
    EXPECT_EQ(std::vector<std::wstring>({L"Bin\\", L"Bin\\other.dll", L"Kivo.exe", L"Plugin\\",
                                         L"Plugin\\Com.Norvane.Other\\",
                                         L"Plugin\\Com.Norvane.Other\\o.txt"}),
              Tree(install_dir_));
  } else {
    EXPECT_FALSE(Exists(Common(L"Norvane\\npkscall")));
    EXPECT_EQ(std::vector<std::wstring>({L"Kivo.exe"}), Tree(install_dir_));
  }
  EXPECT_FALSE(ValueExists(kProductKey, L"oversion"));
  EXPECT_TRUE(ValueExists(kProductKey, L"version"));

  EXPECT_EQ(Lines({Info("npactivex.dll file Exists"), Info("npchrome.dll file Exists"),
                   Info("npchrome.dll file Exists"), Info("npkscall.dll file Exists")}),
            capture_.LinesWithSource());
  EXPECT_EQ(Operations(), pending_.Added());
}

INSTANTIATE_TEST_SUITE_P(Folders, EveryLeftoverTest,
                         ::testing::Values(NeighbourCase{"alone", false},
                                           NeighbourCase{"with_neighbours", true}),
                         [](const ::testing::TestParamInfo<NeighbourCase>& info) {
                           return info.param.name;
                         });

TEST_F(ClearInstallDirTest, NothingThereLogsNothingAndLeavesNoProductKey) {
  // Gone with the manifest, the product key must not come back empty.
  DeleteKeyTree(kProductKey);
  ASSERT_FALSE(KeyExists(kProductKey));

  RunTask();

  EXPECT_EQ(Lines(), capture_.LinesWithSource());
  EXPECT_FALSE(KeyExists(kProductKey));
  EXPECT_TRUE(Exists(install_dir_));
  EXPECT_EQ(std::vector<std::wstring>(), Tree(install_dir_));
  EXPECT_EQ(Operations(), pending_.Added());
}

// The stale value is deleted; a product key that held nothing else goes
// with it, and so does the maker's key when that was all it held.
struct RegistryCase {
  const char* name;
  bool other_value;  // the product key holds "version" too
  bool sibling_key;  // the maker's key holds another product's key
  bool product_kept;
  bool maker_kept;
};

class StaleValueTest : public ClearInstallDirTest,
                       public ::testing::WithParamInterface<RegistryCase> {};

const wchar_t kSiblingKey[] = L"Software\\Norvane\\ClearTestSibling";

TEST_P(StaleValueTest, KeysAreLeftOnlyWhenTheyHoldSomethingElse) {
  const RegistryCase& c = GetParam();
  if (had_maker_key_) {
    HKEY key = nullptr;
    DWORD subkeys = 0, values = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMakerKey, 0, KEY_READ, &key));
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                     nullptr, nullptr, nullptr);
    RegCloseKey(key);
    const DWORD own = had_product_key_ ? 1 : 0;
    if (subkeys != own || values) {
      GTEST_SKIP() << "HKLM\\Software\\Norvane of this prefix holds other keys";
    }
  }
  DeleteKeyTree(kProductKey);
  ASSERT_TRUE(SetValue(kProductKey, L"oversion", L"8.0.0"));
  if (c.other_value) {
    ASSERT_TRUE(SetValue(kProductKey, L"version", L"9.1.0.100"));
  }
  if (c.sibling_key) {
    ASSERT_TRUE(SetValue(kSiblingKey, L"x", L"y"));
  }

  RunTask();

  EXPECT_FALSE(ValueExists(kProductKey, L"oversion"));
  EXPECT_EQ(c.product_kept, KeyExists(kProductKey));
  EXPECT_EQ(c.maker_kept, KeyExists(kMakerKey));
  if (c.other_value) {
    EXPECT_TRUE(ValueExists(kProductKey, L"version"));
  }
  if (c.sibling_key) {
    EXPECT_TRUE(ValueExists(kSiblingKey, L"x"));
  }
  DeleteKeyTree(kSiblingKey);
  EXPECT_EQ(Lines(), capture_.LinesWithSource());
}

INSTANTIATE_TEST_SUITE_P(
    Keys, StaleValueTest,
    ::testing::Values(RegistryCase{"other_value", true, false, true, true},
                      RegistryCase{"sibling_product", false, true, false, true},
                      RegistryCase{"nothing_else", false, false, false, false}),
    [](const ::testing::TestParamInfo<RegistryCase>& info) { return info.param.name; });

// With no install directory to go by, the task must not find the names it
// looks for in whatever folder the process happens to run in.
struct UnknownDirCase {
  const char* name;
  bool previous_known;
};

class UnknownDirTest : public ClearInstallDirTest,
                       public ::testing::WithParamInterface<UnknownDirCase> {
 protected:
  void SetUp() override {
    ClearInstallDirTest::SetUp();
    current_ = TempFilePath(L"kivo_clear_cwd");
    ASSERT_TRUE(base::CreateDirectoryPath(current_));
    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    previous_current_ = previous;
    ASSERT_TRUE(SetCurrentDirectoryW(current_.c_str()));
  }
  void TearDown() override {
    SetCurrentDirectoryW(previous_current_.c_str());
    RemoveTree(current_);
    ClearInstallDirTest::TearDown();
  }

  std::wstring current_, previous_current_;
};

TEST_P(UnknownDirTest, TouchesNothingInTheCurrentFolder) {
  SetDirs(GetParam().previous_known ? install_dir_ : L"", L"");
  const std::vector<std::wstring> files = {
      L"pubno",
      L"Bin\\msimg32.dll",
      L"Bin\\KivoCloud.dll",
      L"Bin\\ZIRUZ\\z.txt",
      L"Plugin\\Com.Norvane.RovIrad\\r.txt",
      L"Plugin\\Com.Norvane.Krel\\k.txt",
      L"Plugin\\Com.Norvane.AudioVideo\\v.txt",
  };
  for (const std::wstring& file : files) ASSERT_TRUE(MakeFile(current_ + L"\\" + file));
  const std::vector<std::wstring> before = Tree(current_);

  RunTask();

  EXPECT_EQ(before, Tree(current_));
  EXPECT_EQ(Lines(), capture_.LinesWithSource());
}

INSTANTIATE_TEST_SUITE_P(Dirs, UnknownDirTest,
                         ::testing::Values(UnknownDirCase{"new_dir_empty", true},
                                           UnknownDirCase{"both_empty", false}),
                         [](const ::testing::TestParamInfo<UnknownDirCase>& info) {
                           return info.param.name;
                         });

// "InstallPath" is never written by the uninstaller itself; a graph that
// sets it gets the stray files of that folder removed.
class NewDirTest : public ClearInstallDirTest {
 protected:
  void SetUp() override {
    ClearInstallDirTest::SetUp();
    new_dir_ = TempFilePath(L"kivo_clear_new");
    ASSERT_TRUE(base::CreateDirectoryPath(new_dir_));
    // A trailing separator and forward slashes are normalised away.
    std::wstring spelled = new_dir_ + L"/";
    std::replace(spelled.begin(), spelled.end(), L'\\', L'/');
    SetDirs(install_dir_, spelled);
    msimg32_ = new_dir_ + L"\\Bin\\msimg32.dll";
  }
  void TearDown() override {
    RemoveTree(new_dir_);
    ClearInstallDirTest::TearDown();
  }

  // The tick count in "msimg32<ticks>.dll", from the names in Bin.
  std::vector<std::wstring> BinFiles() const { return Tree(new_dir_ + L"\\Bin"); }

  std::wstring new_dir_, msimg32_;
};

TEST_F(NewDirTest, DeletesPubnoFileAndMsimg32) {
  ASSERT_TRUE(MakeFile(new_dir_ + L"\\pubno"));
  ASSERT_TRUE(MakeFile(msimg32_));
  ASSERT_TRUE(MakeFile(new_dir_ + L"\\Bin\\Kivo.dll"));

  RunTask();

  EXPECT_FALSE(Exists(new_dir_ + L"\\pubno"));
  EXPECT_EQ(std::vector<std::wstring>({L"Kivo.dll"}), BinFiles());
  EXPECT_EQ(Lines({Info("msimg32.dll Exists")}), TaskLines());
}

TEST_F(NewDirTest, PubnoFolderGoesOnlyWhenEmpty) {
  ASSERT_TRUE(base::CreateDirectoryPath(new_dir_ + L"\\pubno"));
  RunTask();
  EXPECT_FALSE(Exists(new_dir_ + L"\\pubno"));

  ASSERT_TRUE(MakeFile(new_dir_ + L"\\pubno\\inner.txt"));
  RunTask();
  EXPECT_TRUE(Exists(new_dir_ + L"\\pubno\\inner.txt"));
  EXPECT_EQ(Lines(), TaskLines());
}

TEST_F(NewDirTest, Msimg32ThatCannotBeDeletedIsRenamedWithTheTickCount) {
  // Read-only: the delete is refused, a rename is not.
  ASSERT_TRUE(MakeFile(msimg32_, "image"));
  ASSERT_TRUE(SetFileAttributesW(msimg32_.c_str(), FILE_ATTRIBUTE_READONLY));
  const DWORD ticks_before = GetTickCount();

  RunTask();

  const std::vector<std::wstring> bin = BinFiles();
  ASSERT_EQ(1u, bin.size());
  std::wsmatch match;
  ASSERT_TRUE(std::regex_match(bin[0], match, std::wregex(L"msimg32(\\d+)\\.dll")))
      << base::WideToUTF8(bin[0]);
  const unsigned long ticks = std::stoul(match[1].str());
  EXPECT_GE(ticks, ticks_before);
  EXPECT_LE(ticks, GetTickCount());
  EXPECT_EQ("image", ReadFileBytes(new_dir_ + L"\\Bin\\" + bin[0]));
  EXPECT_EQ(Lines({Info("msimg32.dll Exists"), Info("delete msimg32.dll failed")}), TaskLines());
  EXPECT_EQ(Operations(), pending_.Added());
}

TEST_F(NewDirTest, Msimg32ThatCannotBeMovedEitherIsMovedAtRestart) {
  ASSERT_TRUE(MakeFile(msimg32_));
  Lines lines;
  {
    HeldFile held(msimg32_);
    ASSERT_TRUE(held.ok());
    RunTask();
    lines = TaskLines();
  }

  EXPECT_EQ(std::vector<std::wstring>({L"msimg32.dll"}), BinFiles());
  ASSERT_EQ(3u, lines.size());
  EXPECT_EQ(Info("msimg32.dll Exists"), lines[0]);
  EXPECT_EQ(Info("delete msimg32.dll failed"), lines[1]);
  const std::string prefix =
      Info("move msimg32.dll to " + base::WideToUTF8(new_dir_) + "\\Bin\\msimg32");
  ASSERT_EQ(0u, lines[2].rfind(prefix, 0)) << lines[2];
  std::smatch match;
  const std::string rest = lines[2].substr(prefix.size());
  ASSERT_TRUE(std::regex_match(rest, match, std::regex("(\\d+)\\.dll failed"))) << rest;
  const std::wstring aside =
      new_dir_ + L"\\Bin\\msimg32" + base::UTF8ToWide(match[1].str()) + L".dll";
  // A move, not a deletion: the target is kept and may not be replaced.
  EXPECT_EQ(Operations({{L"\\??\\" + msimg32_, L"\\??\\" + aside}}), pending_.Added());
}

TEST_F(ClearInstallDirTest, PluginsInUseAreScheduledAndNpkscallThenItsFolder) {
  const std::wstring npactivex = ChromePlugins(L"npactivex.dll");
  const std::wstring npchrome = ChromePlugins(L"npchrome.dll");
  const std::wstring common_npchrome = Common(L"Norvane\\Npchrome\\npchrome.dll");
  const std::wstring npkscall_dir = Common(L"Norvane\\npkscall");
  const std::wstring npkscall = npkscall_dir + L"\\npkscall.dll";
  for (const std::wstring& path : {npactivex, npchrome, common_npchrome, npkscall}) {
    ASSERT_TRUE(MakeFile(path));
  }
  {
    HeldFile held1(npactivex), held2(npchrome), held3(common_npchrome), held4(npkscall);
    ASSERT_TRUE(held1.ok() && held2.ok() && held3.ok() && held4.ok());
    RunTask();
  }

  EXPECT_EQ(Lines({Info("npactivex.dll file Exists"),
                   Info("delete npactivex.dll file failed, delete after reboot"),
                   Info("npchrome.dll file Exists"),
                   Info("delete npchrome.dll file failed, delete after reboot"),
                   Info("npchrome.dll file Exists"),
                   Info("delete npchrome.dll file failed, delete after reboot"),
                   Info("npkscall.dll file Exists"),
                   Info("delete npkscall.dll file failed, delete after reboot")}),
            TaskLines());
  EXPECT_EQ(
      Operations({PendingDelete(npactivex), PendingDelete(npchrome), PendingDelete(common_npchrome),
                  PendingDelete(npkscall), PendingDelete(npkscall_dir)}),
      pending_.Added());
  for (const std::wstring& path : {npactivex, npchrome, common_npchrome, npkscall}) {
    EXPECT_TRUE(Exists(path));
    EXPECT_TRUE(uninstall::IsScheduledAtRestart(path)) << base::WideToUTF8(path);
  }
  EXPECT_TRUE(uninstall::IsScheduledAtRestart(npkscall_dir));
}

std::wstring Env(const wchar_t* name) {
  wchar_t value[4096] = {};
  const DWORD length = GetEnvironmentVariableW(name, value, 4096);
  return length < 4096 ? std::wstring(value, length) : std::wstring();
}

}  // namespace

// Child mode for the end-to-end tests, which run it inside a machine: the
// tasks named in KIVO_CHILD_TASKS (comma-separated class names) run one after
// the other, each on a thread of its own as the engine runs them, after the
// setup-context values of the UTF-8 file KIVO_CHILD_CONTEXT ("Key=value"
// lines, set as wide strings) are in place. The log goes to KIVO_CHILD_LOG
// with every line item; KIVO_CHILD_FOLDERS, when given, receives the shell
// folders the tasks see ("APPDATA=...", "LOCALAPPDATA=...", "COMMONFILES=...").
TEST(ClearTasksChild, DISABLED_RunTasks) {
  const std::wstring log_file = Env(L"KIVO_CHILD_LOG");
  ASSERT_FALSE(log_file.empty());
  ASSERT_TRUE(base::CreateDirectoryPath(base::GetParentPath(log_file)));
  ASSERT_TRUE(logging::OpenLogDestination(log_file, logging::LOG_ONLY_TO_FILE,
                                          logging::LOCK_LOG_FILE, logging::APPEND_TO_OLD_LOG_FILE));
  logging::SetLogItems(true, true, true, true);

  const std::string context = ReadFileBytes(Env(L"KIVO_CHILD_CONTEXT"));
  size_t begin = 0;
  while (begin < context.size()) {
    size_t end = context.find('\n', begin);
    if (end == std::string::npos) end = context.size();
    std::string line = context.substr(begin, end - begin);
    begin = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    SetupContext::GetInstance()->SetWString(line.substr(0, equals),
                                            base::UTF8ToWide(line.substr(equals + 1)));
  }

  const std::wstring folders_file = Env(L"KIVO_CHILD_FOLDERS");
  if (!folders_file.empty()) {
    const std::string folders =
        "APPDATA=" + base::WideToUTF8(ShellFolder(CSIDL_APPDATA)) +
        "\nLOCALAPPDATA=" + base::WideToUTF8(ShellFolder(CSIDL_LOCAL_APPDATA)) +
        "\nCOMMONFILES=" + base::WideToUTF8(ShellFolder(CSIDL_PROGRAM_FILES_COMMON)) + "\n";
    ASSERT_TRUE(MakeFile(folders_file, folders));
  }

  const std::string tasks = base::WideToUTF8(Env(L"KIVO_CHILD_TASKS"));
  begin = 0;
  while (begin < tasks.size()) {
    size_t end = tasks.find(',', begin);
    if (end == std::string::npos) end = tasks.size();
    const std::string name = tasks.substr(begin, end - begin);
    begin = end + 1;
    std::unique_ptr<task::TaskBase> task(task::TaskClassRegistry::Global().CreateTask(name));
    ASSERT_NE(nullptr, task) << "no task class " << name;
    LOG(INFO) << "child: run " << name;
    std::thread([&task] { task->Run(nullptr); }).join();
  }
}
