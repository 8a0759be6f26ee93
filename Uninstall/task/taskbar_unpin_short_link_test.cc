#include "Uninstall/task/taskbar_unpin_short_link.h"

#include <windows.h>

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "TarnelSetup/setup_context.h"
#include "base/at_exit.h"
#include "base/file_path_util.h"
#include "base/os_version.h"
#include "base/utf_string_conversions.h"
#include "gtest/gtest.h"
#include "nlohmann/json.hpp"
#include "tests/support/child_process.h"
#include "tests/support/shortcut_for_test.h"
#include "tests/support/test_paths.h"

namespace {

typedef std::vector<std::wstring> Paths;
typedef HRESULT(STDAPICALLTYPE* DllGetClassObjectFunction)(REFCLSID, REFIID, void**);

// Where pin_list.dll records what it was asked to remove (it reads this
// variable on every call).
const wchar_t kPinLogVariable[] = L"KIVO_PIN_LOG";
// Set by the old-Windows test for the copy of this program that it starts.
const wchar_t kChildReportVariable[] = L"KIVO_UNPIN_CHILD_REPORT";

enum class Apartment { kNone, kSingleThreaded, kMultiThreaded };

// Runs |work| on a thread of its own in |apartment|, the way the File thread
// runs the task. With |pin_list| the test bed's stand-in pin list
// (tests/tools/pin_list) serves CLSID_StartMenuPin there: Wine has no pin
// list, and a class object registered in the apartment is found before the
// registry, so the prefix stays untouched. Returns what went wrong in the
// set-up, or empty.
std::string RunOnThread(Apartment apartment, bool pin_list, const std::function<void()>& work) {
  std::string error;
  std::thread thread([&] {
    HRESULT init = S_FALSE;
    if (apartment != Apartment::kNone) {
      init =
          CoInitializeEx(nullptr, apartment == Apartment::kSingleThreaded ? COINIT_APARTMENTTHREADED
                                                                          : COINIT_MULTITHREADED);
      if (FAILED(init)) {
        error = "CoInitializeEx failed";
        return;
      }
    }
    IClassFactory* factory = nullptr;
    DWORD cookie = 0;
    if (pin_list) {
      const std::wstring dll = base::JoinPath(test_paths::kToolsDir, L"pin_list.dll");
      HMODULE module = LoadLibraryW(dll.c_str());
      DllGetClassObjectFunction get_class_object =
          module ? reinterpret_cast<DllGetClassObjectFunction>(
                       GetProcAddress(module, "DllGetClassObject"))
                 : nullptr;
      if (!get_class_object ||
          FAILED(get_class_object(CLSID_StartMenuPin, IID_IClassFactory,
                                  reinterpret_cast<void**>(&factory))) ||
          FAILED(CoRegisterClassObject(CLSID_StartMenuPin, factory, CLSCTX_INPROC_SERVER,
                                       REGCLS_MULTIPLEUSE, &cookie))) {
        error = "the stand-in pin list " + base::WideToUTF8(dll) + " could not be registered";
      }
    }
    if (error.empty()) work();
    if (cookie) CoRevokeClassObject(cookie);
    if (factory) factory->Release();
    if (apartment != Apartment::kNone) CoUninitialize();
  });
  thread.join();
  return error;
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file) << base::WideToUTF8(path);
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// An installation in the temporary folder and pins in the real pin folders
// of this prefix's user: one set per process, named after its id, so that
// nothing else the folders hold can be mistaken for them.
class UnpinFixture : public testing::Test {
 public:
  static void SetUpTestSuite() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring id = std::to_wstring(GetCurrentProcessId());
    root_ = base::JoinPath(temp, L"kivo-unpin-" + id);
    install_dir_ = base::JoinPath(root_, L"Kivo");
    pin_log_ = base::JoinPath(root_, L"unpinned.jsonl");
    wchar_t app_data[MAX_PATH] = L"";
    SHGetSpecialFolderPathW(nullptr, app_data, CSIDL_APPDATA, TRUE);
    pin_folders_[0] = base::JoinPath(app_data, uninstall::TaskbarUnpinShortLink::kPinFolders[0]);
    pin_folders_[1] = base::JoinPath(app_data, uninstall::TaskbarUnpinShortLink::kPinFolders[1]);
    prefix_ = L"kivo-unpin-" + id + L" ";
    SetEnvironmentVariableW(kPinLogVariable, pin_log_.c_str());

    base::CreateDirectoryPath(base::JoinPath(install_dir_, L"Bin"));
    base::CreateDirectoryPath(base::JoinPath(root_, L"KivoOld"));
    for (const wchar_t* file : {L"Kivo\\Kivo.exe", L"Kivo\\Bin\\Helper.exe", L"KivoOld\\Kivo.exe"})
      WriteBytes(base::JoinPath(root_, file), "MZ");

    // The shell keeps pins in exactly these two folders, not below them.
    std::string link_errors;
    setup_error_ = RunOnThread(Apartment::kSingleThreaded, false, [&link_errors] {
      struct PinSpec {
        int folder;
        const wchar_t* name;
        std::wstring target;
      };
      const std::vector<PinSpec> pins = {
          {0, L"inside.lnk", Path(L"Kivo\\Kivo.exe")},
          {0, L"folder.lnk", install_dir_},
          {0, L"sub\\nested.lnk", Path(L"Kivo\\Kivo.exe")},
          {1, L"helper.lnk", Path(L"Kivo\\Bin\\Helper.exe")},
          {1, L"other.lnk", Path(L"KivoOld\\Kivo.exe")},
          {1, L"sub\\nested.lnk", Path(L"Kivo\\Bin\\Helper.exe")},
      };
      for (const PinSpec& pin : pins) {
        const std::wstring link = Pin(pin.folder, pin.name);
        base::CreateDirectoryPath(base::GetParentPath(link));
        const HRESULT hr = MakeShortcut(link, pin.target);
        if (FAILED(hr)) link_errors += "MakeShortcut(" + base::WideToUTF8(link) + ") failed; ";
      }
    });
    setup_error_ += link_errors;
    // A file that only looks like a shortcut.
    WriteBytes(Pin(0, L"broken.lnk"), "not a shell link");
  }

  static void TearDownTestSuite() {
    for (int folder = 0; folder < 2; ++folder) {
      for (const wchar_t* name : {L"inside.lnk", L"folder.lnk", L"broken.lnk", L"helper.lnk",
                                  L"other.lnk", L"sub\\nested.lnk"}) {
        DeleteFileW(Pin(folder, name).c_str());
      }
      RemoveDirectoryW(Pin(folder, L"sub").c_str());
    }
    base::DeletePath(root_, true);
  }

  // A file below the test's root folder.
  static std::wstring Path(const wchar_t* relative) { return base::JoinPath(root_, relative); }
  // A pin of this process in pin folder |folder| (0 TaskBar, 1 StartMenu).
  static std::wstring Pin(int folder, const wchar_t* name) {
    return base::JoinPath(pin_folders_[folder], prefix_ + name);
  }

 protected:
  void SetUp() override {
    ASSERT_EQ("", setup_error_);
    DeleteFileW(pin_log_.c_str());
  }

  // Runs the task as the File thread does, with the stand-in pin list.
  void RunTask() {
    ASSERT_EQ("", RunOnThread(Apartment::kSingleThreaded, true, [] {
                uninstall::TaskbarUnpinShortLink task;
                task.Run(nullptr);
              }));
  }

  // The paths handed to RemoveFromList, in call order.
  static Paths Unpinned() {
    Paths paths;
    const std::string log = ReadFileBytes(pin_log_);
    size_t start = 0;
    while (start < log.size()) {
      size_t end = log.find('\n', start);
      if (end == std::string::npos) end = log.size();
      const std::string line = log.substr(start, end - start);
      start = end + 1;
      if (line.empty()) continue;
      nlohmann::json record = nlohmann::json::parse(line, nullptr, false);
      paths.push_back(record.is_object() && record.contains("remove")
                          ? base::UTF8ToWide(record["remove"].get<std::string>())
                          : L"<bad record> " + base::UTF8ToWide(line));
    }
    return paths;
  }

  base::AtExitManager at_exit_;

  static std::wstring root_;
  static std::wstring install_dir_;
  static std::wstring pin_log_;
  static std::wstring pin_folders_[2];
  static std::wstring prefix_;
  static std::string setup_error_;
};

std::wstring UnpinFixture::root_;
std::wstring UnpinFixture::install_dir_;
std::wstring UnpinFixture::pin_log_;
std::wstring UnpinFixture::pin_folders_[2];
std::wstring UnpinFixture::prefix_;
std::string UnpinFixture::setup_error_;

struct InstallPathCase {
  const char* name;
  // The "PreviousInstallPath" value; nullptr: none recorded.
  std::function<std::wstring()> install_path;
  // The pins expected to be unpinned: TaskBar ones, then StartMenu ones (the
  // order within a folder is the file system's).
  std::vector<const wchar_t*> taskbar;
  std::vector<const wchar_t*> start_menu;
};

void PrintTo(const InstallPathCase& c, std::ostream* out) { *out << c.name; }

class TaskbarUnpinShortLinkTest : public UnpinFixture,
                                  public testing::WithParamInterface<InstallPathCase> {};

TEST_P(TaskbarUnpinShortLinkTest, UnpinsExactlyThePinsThatPointIntoTheInstallation) {
  const InstallPathCase& c = GetParam();
  if (c.install_path) {
    SetupContext::GetInstance()->SetWString("PreviousInstallPath", c.install_path());
  }
  RunTask();

  Paths expected;
  for (const wchar_t* name : c.taskbar) expected.push_back(Pin(0, name));
  for (const wchar_t* name : c.start_menu) expected.push_back(Pin(1, name));
  const Paths unpinned = Unpinned();
  // TaskBar first; within one folder any order.
  std::vector<std::pair<int, std::wstring>> ranked;
  for (const std::wstring& path : unpinned)
    ranked.emplace_back(path.compare(0, pin_folders_[0].size(), pin_folders_[0]) == 0 ? 0 : 1,
                        path);
  EXPECT_TRUE(
      std::is_sorted(ranked.begin(), ranked.end(),
                     [](const std::pair<int, std::wstring>& a,
                        const std::pair<int, std::wstring>& b) { return a.first < b.first; }))
      << "StartMenu pins were handled before TaskBar pins";
  std::sort(ranked.begin(), ranked.end());
  Paths sorted_unpinned;
  for (const auto& entry : ranked) sorted_unpinned.push_back(entry.second);
  std::sort(expected.begin(), expected.begin() + c.taskbar.size());
  std::sort(expected.begin() + c.taskbar.size(), expected.end());
  EXPECT_EQ(expected, sorted_unpinned);

  // Unpinning leaves the shortcut files to the shell.
  for (const wchar_t* name : {L"inside.lnk", L"folder.lnk", L"sub\\nested.lnk"})
    EXPECT_TRUE(FileExists(Pin(0, name))) << base::WideToUTF8(Pin(0, name));
  for (const wchar_t* name : {L"helper.lnk", L"other.lnk", L"sub\\nested.lnk"})
    EXPECT_TRUE(FileExists(Pin(1, name))) << base::WideToUTF8(Pin(1, name));
}

std::wstring Upper(std::wstring text) {
  CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
  return text;
}

// In every case: a pin at the installation folder itself, pins one level
// down in the pin folders and a file that is no shortcut stay; so does a pin
// of another folder whose name merely begins like the installation's
// ("KivoOld" beside "Kivo").
INSTANTIATE_TEST_SUITE_P(
    InstallPaths, TaskbarUnpinShortLinkTest,
    testing::Values(InstallPathCase{"InstallFolder",
                                    [] { return UnpinFixture::Path(L"Kivo"); },
                                    {L"inside.lnk"},
                                    {L"helper.lnk"}},
                    // The registry may spell the folder in another case than the pins.
                    InstallPathCase{"InstallFolderInUpperCase",
                                    [] { return Upper(UnpinFixture::Path(L"Kivo")); },
                                    {L"inside.lnk"},
                                    {L"helper.lnk"}},
                    // Containment wants a backslash right after the folder's name.
                    InstallPathCase{"TrailingBackslash",
                                    [] { return UnpinFixture::Path(L"Kivo") + L"\\"; },
                                    {},
                                    {}},
                    // One level up, the pins at the folder and at its neighbour count too,
                    // which shows that they were looked at.
                    InstallPathCase{"ParentFolder",
                                    [] { return UnpinFixture::Path(L""); },
                                    {L"inside.lnk", L"folder.lnk"},
                                    {L"helper.lnk", L"other.lnk"}},
                    InstallPathCase{"NotRecorded", nullptr, {}, {}}),
    [](const testing::TestParamInfo<InstallPathCase>& info) {
      return std::string(info.param.name);
    });

// What UnpinShortcut returns and what it leaves of COM on the calling thread.
struct ApartmentCase {
  const char* name;
  Apartment apartment;
  bool pin_list;
  HRESULT result;
  bool unpinned;
};

void PrintTo(const ApartmentCase& c, std::ostream* out) { *out << c.name; }

class UnpinShortcutTest : public UnpinFixture, public testing::WithParamInterface<ApartmentCase> {};

TEST_P(UnpinShortcutTest, BalancesItsComInitialisation) {
  const ApartmentCase& c = GetParam();
  const std::wstring shortcut = Pin(0, L"inside.lnk");
  HRESULT result = S_OK;
  HRESULT init_after = S_OK;
  ASSERT_EQ("", RunOnThread(c.apartment, c.pin_list, [&] {
              result = uninstall::UnpinShortcut(shortcut);
              // A thread that had no COM before must have none afterwards:
              // then this is the first initialisation again (S_OK).
              if (c.apartment == Apartment::kNone) {
                init_after = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
                if (SUCCEEDED(init_after)) CoUninitialize();
              }
            }));
  EXPECT_EQ(c.result, result) << std::hex << result;
  EXPECT_EQ(S_OK, init_after) << std::hex << init_after;
  EXPECT_EQ(c.unpinned ? Paths{shortcut} : Paths{}, Unpinned());
}

INSTANTIATE_TEST_SUITE_P(
    Apartments, UnpinShortcutTest,
    testing::Values(
        ApartmentCase{"SingleThreaded", Apartment::kSingleThreaded, true, S_OK, true},
        // Wine's own state: no class behind CLSID_StartMenuPin.
        ApartmentCase{"NoPinList", Apartment::kSingleThreaded, false, REGDB_E_CLASSNOTREG, false},
        ApartmentCase{"NoComYet", Apartment::kNone, false, REGDB_E_CLASSNOTREG, false},
        // The pin list is an apartment object; an MTA thread cannot switch.
        ApartmentCase{"MultiThreaded", Apartment::kMultiThreaded, true, RPC_E_CHANGED_MODE, false}),
    [](const testing::TestParamInfo<ApartmentCase>& info) { return std::string(info.param.name); });

// Windows before Vista has no pins; the task must not even look. Wine reports
// the version its registry names for a program's file name, so a copy of this
// test program under a name of its own runs as Windows XP.
class TaskbarUnpinOnOldWindowsTest : public UnpinFixture {};

TEST_F(TaskbarUnpinOnOldWindowsTest, DoesNothingBelowVersionSix) {
  wchar_t self[MAX_PATH];
  ASSERT_NE(0u, GetModuleFileNameW(nullptr, self, MAX_PATH));
  const std::wstring name = L"kivo-unpin-xp-" + std::to_wstring(GetCurrentProcessId()) + L".exe";
  const std::wstring copy = Path(name.c_str());
  const std::wstring report = Path(L"xp-report.txt");
  const std::wstring xml = Path(L"xp-child.xml");
  ASSERT_TRUE(CopyFileW(self, copy.c_str(), FALSE));
  const std::wstring app_key = L"Software\\Wine\\AppDefaults\\" + name;
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, app_key.c_str(), 0, nullptr, 0,
                                           KEY_SET_VALUE, nullptr, &key, nullptr));
  const wchar_t kVersion[] = L"winxp";
  RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(kVersion),
                 sizeof(kVersion));
  RegCloseKey(key);

  SetEnvironmentVariableW(kChildReportVariable, report.c_str());
  DWORD exit_code = 1;
  bool ended = false;
  {
    ChildProcess child;
    if (child.Start(copy, {L"--gtest_filter=TaskbarUnpinOnOldWindowsTest.DISABLED_ChildRun",
                           L"--gtest_also_run_disabled_tests", L"--gtest_output=xml:" + xml})) {
      ended = child.Wait(60000, &exit_code);
    }
  }
  SetEnvironmentVariableW(kChildReportVariable, nullptr);
  RegDeleteKeyW(HKEY_CURRENT_USER, app_key.c_str());

  EXPECT_TRUE(ended) << "the copy did not start or did not end in time";
  EXPECT_EQ(0u, exit_code) << ReadFileBytes(xml);
  // A version query that ignored the setting would show 6 or more here, and
  // the test would then prove nothing.
  EXPECT_EQ("major=5 unpinned=0", ReadFileBytes(report)) << ReadFileBytes(xml);
}

// Run only by the test above, in the copy that believes it runs on Windows
// XP: every pin of its own would be unpinned on a newer version.
TEST_F(TaskbarUnpinOnOldWindowsTest, DISABLED_ChildRun) {
  SetupContext::GetInstance()->SetWString("PreviousInstallPath", Path(L""));
  RunTask();
  wchar_t report[MAX_PATH] = L"";
  ASSERT_NE(0u, GetEnvironmentVariableW(kChildReportVariable, report, MAX_PATH));
  WriteBytes(report, "major=" + std::to_string(base::GetOSVersionNumbers().major) +
                         " unpinned=" + std::to_string(Unpinned().size()));
}

}  // namespace
