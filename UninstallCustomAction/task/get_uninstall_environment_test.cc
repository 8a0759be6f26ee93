#include "UninstallCustomAction/task/get_uninstall_environment.h"

#include <windows.h>

#include <string>
#include <vector>

#include "TarnelSetup/setup_context.h"
#include "TarnelSetup/setup_util.h"
#include "base/file_path_util.h"
#include "base/utf_string_conversions.h"
#include "gtest/gtest.h"
#include "tests/support/child_process.h"
#include "tests/support/log_capture.h"

namespace {

typedef std::vector<std::string> Lines;

const char kUntouched[] = "<untouched>";
const char* const kInstallationKeys[] = {"PreviousVersion", "UninstallReportVersion",
                                         "PreviousInstallType", "PreviousInstallPath"};

struct RegValue {
  const wchar_t* name;
  DWORD type;
  std::wstring data;  // "$ROOT$" stands for the test's folder
};

struct MachineCase {
  const char* name;
  bool key;
  std::vector<RegValue> values;
  bool install_dir;
  bool manifest;  // (install dir)\Uninstall.xml
  bool backup;    // (SetupTempPath)\Uninstall\9.1.0.100\Uninstall.xml
  Lines lines;    // the task's log, without the line prefixes
  // With "NeedUnistall" "true": the values expected; "$ROOT$" is replaced.
  bool need_uninstall;
  std::wstring version;
  std::wstring report_version;
  std::wstring install_path;
};

const wchar_t kInstall[] = L"$ROOT$\\Kivo";
const char kOpenFail[] = "HKEY_LOCAL_MACHIN\\Software\\Norvane\\KivoNT open fail";
const char kReadFail[] = "HKEY_LOCAL_MACHIN\\Software\\Norvane\\KivoNT read fail";
const char kVersionReadFail[] = "HKEY_LOCAL_MACHIN\\Software\\Norvane\\KivoNT version read fail";
const char kNoManifest[] = "Uninstall.xml path not exists";
const char kNoBackup[] = "Uninstall.xml backup path not exists";

RegValue Sz(const wchar_t* name, const std::wstring& data) { return {name, REG_SZ, data}; }

std::vector<MachineCase> MachineCases() {
  const std::vector<RegValue> installed = {Sz(L"Install", kInstall), Sz(L"version", L"9.1.0.100")};
  auto with = [&installed](std::vector<RegValue> more) {
    std::vector<RegValue> values = installed;
    values.insert(values.end(), more.begin(), more.end());
    return values;
  };
  return {
      {"no_key", false, {}, true, true, false, {kOpenFail}, false},
      {"install_missing",
       true,
       {Sz(L"version", L"9.1.0.100")},
       true,
       true,
       false,
       {kReadFail},
       false},
      {"install_of_another_type",
       true,
       {{L"Install", REG_BINARY, kInstall}},
       true,
       true,
       false,
       {kReadFail},
       false},
      {"install_empty",
       true,
       {Sz(L"Install", L""), Sz(L"version", L"9.1.0.100")},
       true,
       true,
       false,
       {"install path empty"},
       false},
      {"install_folder_missing",
       true,
       installed,
       false,
       false,
       false,
       {"install path not exists"},
       false},
      {"installed",
       true,
       installed,
       true,
       true,
       false,
       {},
       true,
       L"9.1.0.100",
       L"9.1.0.100",
       kInstall},
      {"install_expand_sz",
       true,
       {{L"Install", REG_EXPAND_SZ, L"%KIVO_ENV_TEST_ROOT%\\Kivo"}, Sz(L"version", L"9.1.0.100")},
       true,
       true,
       false,
       {},
       true,
       L"9.1.0.100",
       L"9.1.0.100",
       kInstall},
      {"install_trailing_backslash_kept",
       true,
       {Sz(L"Install", L"$ROOT$\\Kivo\\"), Sz(L"version", L"9.1.0.100")},
       true,
       true,
       false,
       {},
       true,
       L"9.1.0.100",
       L"9.1.0.100",
       L"$ROOT$\\Kivo\\"},
      {"manifest_missing_backup_present",
       true,
       installed,
       true,
       false,
       true,
       {kNoManifest},
       true,
       L"9.1.0.100",
       L"9.1.0.100",
       kInstall},
      {"manifest_and_backup_missing",
       true,
       installed,
       true,
       false,
       false,
       {kNoManifest, kNoBackup},
       false},
      // The backup lookup's own failures are silent.
      {"manifest_missing_version_missing",
       true,
       {Sz(L"Install", kInstall)},
       true,
       false,
       true,
       {kNoManifest},
       false},
      {"manifest_missing_version_empty",
       true,
       {Sz(L"Install", kInstall), Sz(L"version", L"")},
       true,
       false,
       true,
       {kNoManifest},
       false},
      {"version_missing",
       true,
       {Sz(L"Install", kInstall)},
       true,
       true,
       false,
       {kVersionReadFail},
       false},
      {"version_empty",
       true,
       {Sz(L"Install", kInstall), Sz(L"version", L"")},
       true,
       true,
       false,
       {"version empty"},
       false},
      {"rversion_present",
       true,
       with({Sz(L"rversion", L"9.1.0.200")}),
       true,
       true,
       false,
       {},
       true,
       L"9.1.0.100",
       L"9.1.0.200",
       kInstall},
      {"rversion_empty",
       true,
       with({Sz(L"rversion", L"")}),
       true,
       true,
       false,
       {},
       true,
       L"9.1.0.100",
       L"",
       kInstall},
      {"rversion_unreadable",
       true,
       with({{L"rversion", REG_DWORD, L"\x1"}}),
       true,
       true,
       false,
       {},
       true,
       L"9.1.0.100",
       L"9.1.0.100",
       kInstall},
  };
}

std::wstring Expand(std::wstring text, const std::wstring& root) {
  setup::ReplaceSubstrings(&text, L"$ROOT$", root);
  return text;
}

bool CreateEmptyFile(const std::wstring& path) {
  if (!base::CreateDirectoryPath(base::GetParentPath(path))) return false;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

// HKEY_LOCAL_MACHINE of this process is mapped onto a key of its own under
// HKEY_CURRENT_USER, so the cases never touch the prefix's real product key
// nor race other tests that use it.
class GetUninstallEnvironmentTest : public ::testing::TestWithParam<MachineCase> {
 protected:
  void SetUp() override {
    fake_root_path_ =
        L"Software\\KivoTest\\EnvironmentTest_" + std::to_wstring(GetCurrentProcessId());
    RegDeleteTreeW(HKEY_CURRENT_USER, fake_root_path_.c_str());
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, fake_root_path_.c_str(), 0, nullptr,
                                             0, KEY_ALL_ACCESS, nullptr, &fake_root_, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_LOCAL_MACHINE, fake_root_));

    root_ = TempFilePath(L"kivo_environment");
    ASSERT_TRUE(base::CreateDirectoryPath(root_));
    SetEnvironmentVariableW(L"KIVO_ENV_TEST_ROOT", root_.c_str());
    SetupContext* context = SetupContext::GetInstance();
    context->SetWString("SetupTempPath", root_ + L"\\STemp");
    context->SetString("NeedUnistall", kUntouched);
    for (const char* key : kInstallationKeys) context->SetString(key, kUntouched);
  }

  void TearDown() override {
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    if (fake_root_) RegCloseKey(fake_root_);
    RegDeleteTreeW(HKEY_CURRENT_USER, fake_root_path_.c_str());
    base::DeletePath(root_, true);
  }

  void MakeMachine(const MachineCase& c) {
    if (c.key) {
      HKEY product = nullptr;
      ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(fake_root_, L"Software\\Norvane\\KivoNT", 0, nullptr,
                                               0, KEY_ALL_ACCESS, nullptr, &product, nullptr));
      for (const RegValue& value : c.values) {
        const std::wstring data = Expand(value.data, root_);
        const DWORD size = value.type == REG_DWORD
                               ? sizeof(DWORD)
                               : static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
        DWORD number = data.empty() ? 0 : data[0];
        const BYTE* bytes = value.type == REG_DWORD ? reinterpret_cast<const BYTE*>(&number)
                                                    : reinterpret_cast<const BYTE*>(data.c_str());
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(product, value.name, 0, value.type, bytes, size));
      }
      RegCloseKey(product);
    }
    const std::wstring install_dir = root_ + L"\\Kivo";
    if (c.install_dir) {
      ASSERT_TRUE(base::CreateDirectoryPath(install_dir));
    }
    if (c.manifest) {
      ASSERT_TRUE(CreateEmptyFile(install_dir + L"\\Uninstall.xml"));
    }
    if (c.backup) {
      ASSERT_TRUE(CreateEmptyFile(root_ + L"\\STemp\\Uninstall\\9.1.0.100\\Uninstall.xml"));
    }
  }

  HKEY fake_root_ = nullptr;
  std::wstring fake_root_path_;
  std::wstring root_;
};

TEST_P(GetUninstallEnvironmentTest, PublishesTheInstallationOrSaysThereIsNone) {
  const MachineCase& c = GetParam();
  ASSERT_NO_FATAL_FAILURE(MakeMachine(c));
  LogCapture capture;
  ASSERT_TRUE(capture.ok());

  uninstall::GetUninstallEnvironment task;
  task.Run(nullptr);

  EXPECT_EQ(c.lines, capture.Lines());
  for (const std::string& line : capture.RawLines()) EXPECT_EQ(0u, line.find("[INFO:")) << line;
  SetupContext* context = SetupContext::GetInstance();
  std::string need;
  context->GetString("NeedUnistall", &need);
  EXPECT_EQ(c.need_uninstall ? "true" : "false", need);
  if (!c.need_uninstall) {
    for (const char* key : kInstallationKeys) {
      std::string value;
      context->GetString(key, &value);
      EXPECT_EQ(kUntouched, value) << key << " was written";
    }
    return;
  }
  std::wstring value;
  context->GetWString("PreviousVersion", &value);
  EXPECT_EQ(c.version, value);
  context->GetWString("UninstallReportVersion", &value);
  EXPECT_EQ(c.report_version, value);
  context->GetWString("PreviousInstallPath", &value);
  EXPECT_EQ(Expand(c.install_path, root_), value);
  std::string type;
  context->GetString("PreviousInstallType", &type);
  EXPECT_EQ("NewSetup", type);
}

INSTANTIATE_TEST_SUITE_P(Machines, GetUninstallEnvironmentTest, ::testing::ValuesIn(MachineCases()),
                         [](const ::testing::TestParamInfo<MachineCase>& info) {
                           return info.param.name;
                         });

}  // namespace
