#include "TarnelSetup/uninstall/uninstall_manifest.h"

#include <windows.h>

#include <string>
#include <vector>

#include "TarnelSetup/setup_context.h"
#include "base/file_path_util.h"
#include "base/logging.h"
#include "base/utf_string_conversions.h"
#include "gtest/gtest.h"
#include "tests/support/child_process.h"
#include "tests/support/log_capture.h"
#include "tinyxml2.h"

namespace {

typedef std::vector<std::string> Lines;

std::string Error(const std::string& text) { return "[ERROR:uninstall_manifest.cc] " + text; }
std::string Info(const std::string& text) { return "[INFO:uninstall_manifest.cc] " + text; }
// What the walk below saw, logged from here so it interleaves with the
// reader's own lines.
std::string Seen(const std::string& text) { return "[INFO:uninstall_manifest_test.cc] " + text; }

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
      written == bytes.size();
  CloseHandle(file);
  return ok;
}

const char* RootName(HKEY root) {
  if (root == HKEY_CLASSES_ROOT) return "HKCR";
  if (root == HKEY_LOCAL_MACHINE) return "HKLM";
  if (root == HKEY_CURRENT_USER) return "HKCU";
  if (root == HKEY_USERS) return "HKU";
  if (root == HKEY_CURRENT_CONFIG) return "HKCC";
  if (root == HKEY_DYN_DATA) return "HKDD";
  if (root == HKEY_PERFORMANCE_DATA) return "HKPD";
  return "?";
}

// Walks the sections in the order the removal task does and logs each entry
// handed out.
void Walk(const uninstall::UninstallManifest& manifest) {
  manifest.ForEachModule([](const uninstall::ManifestModule& module) {
    if (module.type == uninstall::ManifestModule::kDll) {
      LOG(INFO) << "module DLL " << module.path;
    } else {
      LOG(INFO) << "module EXE " << module.path << " " << module.uninstall_arg;
    }
  });
  manifest.ForEachKey([&manifest](const uninstall::ManifestKey& key) {
    EXPECT_EQ(base::UTF8ToWide(key.sub_key), key.sub_key_wide);
    LOG(INFO) << "key " << RootName(key.root) << " (" << key.root_key_name << ") " << key.sub_key;
    manifest.ForEachValueName(key, [](const std::wstring& name) {
      LOG(INFO) << "value " << (name.empty() ? std::wstring(L"<default>") : name);
    });
  });
  if (!manifest.HasFiles()) {
    LOG(INFO) << "no Files";
    return;
  }
  manifest.ForEachFile([](const std::wstring& path) { LOG(INFO) << "file " << path; });
  manifest.ForEachDir([](const std::wstring& path) { LOG(INFO) << "dir " << path; });
}

std::string WithVersion(const std::string& body, const std::string& version = "1.0") {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Uninstall>\n  <Version versionnum=\"" +
         version + "\"/>\n" + body + "</Uninstall>\n";
}

const char kOneFile[] = "<Files><File path=\"C:\\k\\a.dll\"/></Files>";

struct ManifestCase {
  const char* name;
  bool exists;  // false: no file at the path at all
  std::string xml;
  bool opens;
  Lines lines;  // the reader's lines and what the walk saw, in order
};

std::vector<ManifestCase> ManifestCases() {
  const std::string regsvr =
      "<Regsvr>\n"
      "  <Comment type=\"DLL\" path=\"C:\\k\\before.dll\"/>\n"
      "  <Moudle type=\"DLL\" path=\"$intallpath$\\Bin\\a.dll\"/>\n"
      "  <Moudle path=\"C:\\k\\no_type.dll\"/>\n"
      "  <Moudle type=\"dll\" path=\"C:\\k\\lower.dll\"/>\n"
      "  <Moudle type=\"DLL\"/>\n"
      "  <Moudle type=\"EXE\" uninstall_arg=\"/u\"/>\n"
      "  <Moudle type=\"EXE\" path=\"C:\\k\\no_arg.exe\"/>\n"
      "  <Moudle type=\"EXE\" path=\"C:\\k\\diverurudav.exe\"/>\n"
      "  <Moudle type=\"EXE\" path=\"C:\\k\\DiverUruDav.EXE\" uninstall_arg=\"/u\"/>\n"
      "  <Moudle type=\"COM\"/>\n"
      "  <AnyName type=\"EXE\" path=\"$common$\\Norvane\\up.exe\" uninstall_arg=\"--remove\"/>\n"
      "</Regsvr>\n";
  const std::string registry =
      "<Registry>\n"
      "  <Other rootkey=\"HKLM\" subkey=\"Software\\Before\"/>\n"
      "  <Key rootkey=\"HKCU\" subkey=\"Software\\Norvane\\Kivo\">\n"
      "    <Other name=\"before\"/>\n"
      "    <Value name=\"First\"/>\n"
      "    <Value/>\n"
      "    <Value name=\"@\"/>\n"
      "    <Item name=\"Any\"/>\n"
      "  </Key>\n"
      "  <Key subkey=\"Software\\NoRoot\"/>\n"
      "  <Key rootkey=\"hklm\" subkey=\"Software\\Lower\"><Value name=\"x\"/></Key>\n"
      "  <Key rootkey=\"HKEY_CLASSES_ROOT\"/>\n"
      "  <Key rootkey=\"HKEY_LOCAL_MACHINE\" subkey=\"Software\\Long\"/>\n"
      "  <Key rootkey=\"HKU\" subkey=\".DEFAULT\\Norvane\"/>\n"
      "</Registry>\n";
  const std::string files =
      "<Files>\n"
      "  <Dir path=\"C:\\k\\Bin\"/>\n"
      "  <File path=\"C:\\k\\a.dll\"/>\n"
      "  <File/>\n"
      "  <Other path=\"C:\\k\\other.txt\"/>\n"
      "  <Dir path=\"C:\\k\\Bin\\sub\"/>\n"
      "  <Dir/>\n"
      "  <File path=\"C:\\k\\\xE6\x95\xB0\xE6\x8D\xAE.txt\"/>\n"  // 数据.txt
      "</Files>\n";
  auto then = [](Lines first, const Lines& more) {
    first.insert(first.end(), more.begin(), more.end());
    return first;
  };
  const Lines walked_one_file = {Seen("file C:\\k\\a.dll")};

  return {
      {"missing", false, "", false, {Error("ErrorID = 3")}},
      {"empty_file",
       true,
       "",
       false,
       {Error("ErrorID = " + std::to_string(tinyxml2::XML_ERROR_EMPTY_DOCUMENT))}},
      {"not_well_formed",
       true,
       "<Uninstall><Version versionnum=\"1.0\"></Uninstall>",
       false,
       {Error("ErrorID = " + std::to_string(tinyxml2::XML_ERROR_MISMATCHED_ELEMENT))}},
      {"no_root",
       true,
       "<Install><Version versionnum=\"1.0\"/>" + std::string(kOneFile) + "</Install>",
       false,
       {Error("uninstall_root == NULL")}},
      {"root_in_lower_case",
       true,
       "<uninstall><Version versionnum=\"1.0\"/></uninstall>",
       false,
       {Error("uninstall_root == NULL")}},
      {"root_after_another_element", true,
       "<Comment/><Uninstall><Version versionnum=\"1.0\"/>" + std::string(kOneFile) +
           "</Uninstall>",
       true, walked_one_file},
      {"no_version",
       true,
       "<Uninstall>" + std::string(kOneFile) + "</Uninstall>",
       false,
       {Error("version_num_value == NULL")}},
      {"version_without_versionnum",
       true,
       "<Uninstall><Version num=\"1.0\"/>" + std::string(kOneFile) + "</Uninstall>",
       false,
       {Error("version_num_value == NULL")}},
      {"version_2_0", true, WithVersion(kOneFile, "2.0"), true,
       then({Info("version num = 2.0")}, walked_one_file)},
      {"version_1_1", true, WithVersion(kOneFile, "1.1"), true,
       then({Info("version num = 1.1")}, walked_one_file)},
      {"version_1", true, WithVersion(kOneFile, "1"), true,
       then({Error("version num invalid")}, walked_one_file)},
      {"version_empty", true, WithVersion(kOneFile, ""), true,
       then({Error("version num invalid")}, walked_one_file)},
      {"version_three_pieces", true, WithVersion(kOneFile, "1.0.0"), true,
       then({Error("version num invalid")}, walked_one_file)},
      {"version_spaced", true, WithVersion(kOneFile, " 1 . 0 "), true, walked_one_file},
      {"version_tabs_and_zeros", true, WithVersion(kOneFile, "\t01.00\t"), true, walked_one_file},
      {"version_trailing_text_ignored", true, WithVersion(kOneFile, "1.0beta"), true,
       walked_one_file},
      {"version_text_reads_as_0", true, WithVersion(kOneFile, "x.0"), true,
       then({Info("version num = x.0")}, walked_one_file)},
      {"modules",
       true,
       WithVersion(regsvr + "<Files/>"),
       true,
       {Seen("module DLL $intallpath$\\Bin\\a.dll"), Error("type == NULL"), Error("path == NULL"),
        Error("path == NULL"), Error("arg == NULL"),
        Seen("module EXE $common$\\Norvane\\up.exe --remove")}},
      {"regsvr_without_moudle",
       true,
       WithVersion("<Regsvr><Module type=\"DLL\" path=\"C:\\k\\a.dll\"/></Regsvr><Files/>"),
       true,
       {}},
      {"registry",
       true,
       WithVersion(registry + "<Files/>"),
       true,
       {Seen("key HKCU (HKCU) Software\\Norvane\\Kivo"), Seen("value First"), Error("name == NULL"),
        Seen("value <default>"), Seen("value Any"), Error("root_key == NULL"),
        Error("sub_key == NULL"), Seen("key HKLM (HKEY_LOCAL_MACHINE) Software\\Long"),
        Seen("key HKU (HKU) .DEFAULT\\Norvane")}},
      {"no_files",
       true,
       WithVersion("<Regsvr><Moudle type=\"DLL\" path=\"C:\\k\\a.dll\"/></Regsvr>"),
       true,
       {Seen("module DLL C:\\k\\a.dll"), Seen("no Files")}},
      {"files",
       true,
       WithVersion(files),
       true,
       {Seen("file C:\\k\\a.dll"), Error("path_name == NULL"),
        Seen("file C:\\k\\\xE6\x95\xB0\xE6\x8D\xAE.txt"), Seen("dir C:\\k\\Bin"),
        Seen("dir C:\\k\\Bin\\sub"), Error("path_name == NULL")}},
      {"sections_in_any_order",
       true,
       "<Uninstall><Files><File path=\"C:\\k\\a.dll\"/></Files>"
       "<Registry><Key rootkey=\"HKCR\" subkey=\"Kivo.File\"/></Registry>"
       "<Version versionnum=\"1.0\"/>"
       "<Regsvr><Moudle type=\"DLL\" path=\"C:\\k\\a.dll\"/></Regsvr></Uninstall>",
       true,
       {Seen("module DLL C:\\k\\a.dll"), Seen("key HKCR (HKCR) Kivo.File"),
        Seen("file C:\\k\\a.dll")}},
      {"only_the_first_section_of_a_name",
       true,
       WithVersion(
           "<Files><File path=\"C:\\k\\1\"/></Files><Files><File path=\"C:\\k\\2\"/></Files>"),
       true,
       {Seen("file C:\\k\\1")}},
  };
}

class ManifestReadTest : public ::testing::TestWithParam<ManifestCase> {
 protected:
  void SetUp() override {
    folder_ = TempFilePath(L"kivo_manifest");
    ASSERT_TRUE(base::CreateDirectoryPath(folder_));
  }
  void TearDown() override { base::DeletePath(folder_, true); }

  std::wstring folder_;
};

TEST_P(ManifestReadTest, LogsEachProblemWhereTheWalkMeetsIt) {
  const ManifestCase& c = GetParam();
  const std::wstring path = folder_ + L"\\Uninstall.xml";
  if (c.exists) {
    ASSERT_TRUE(WriteBytes(path, c.xml));
  }

  LogCapture capture;
  ASSERT_TRUE(capture.ok());
  uninstall::UninstallManifest manifest;
  const bool opened = manifest.Open(path);
  EXPECT_EQ(c.opens, opened);
  if (opened) {
    EXPECT_EQ(0, manifest.load_error());
    Walk(manifest);
  }
  EXPECT_EQ(c.lines, capture.LinesWithSource());
}

INSTANTIATE_TEST_SUITE_P(Manifests, ManifestReadTest, ::testing::ValuesIn(ManifestCases()),
                         [](const ::testing::TestParamInfo<ManifestCase>& info) {
                           return info.param.name;
                         });

TEST_F(ManifestReadTest, FolderOrLockedFileCannotBeLoaded) {
  LogCapture capture;
  ASSERT_TRUE(capture.ok());
  uninstall::UninstallManifest manifest;
  // Something exists at the path, but it is no file to read.
  const std::wstring as_folder = folder_ + L"\\Uninstall.xml";
  ASSERT_TRUE(CreateDirectoryW(as_folder.c_str(), nullptr));
  EXPECT_FALSE(manifest.Open(as_folder));
  EXPECT_EQ(tinyxml2::XML_ERROR_FILE_NOT_FOUND, manifest.load_error());

  const std::wstring locked = folder_ + L"\\locked.xml";
  ASSERT_TRUE(WriteBytes(locked, WithVersion(kOneFile)));
  HANDLE held = CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  EXPECT_FALSE(manifest.Open(locked));
  CloseHandle(held);
  EXPECT_EQ((Lines{Error("ErrorID = 3"), Error("ErrorID = 3")}), capture.LinesWithSource());

  // The same object loads once it is free, through a path with Chinese text.
  const std::wstring chinese = folder_ + L"\\\x6570\x636e.xml";  // 数据.xml
  ASSERT_TRUE(MoveFileW(locked.c_str(), chinese.c_str()));
  EXPECT_TRUE(manifest.Open(chinese));
}

TEST(ManifestDebugChecks, EachMissingAttributeIsAlsoACheck) {
  const std::wstring folder = TempFilePath(L"kivo_manifest_checks");
  ASSERT_TRUE(base::CreateDirectoryPath(folder));
  const std::wstring path = folder + L"\\Uninstall.xml";
  ASSERT_TRUE(WriteBytes(path, WithVersion("<Regsvr><Moudle/><Moudle type=\"DLL\"/>"
                                           "<Moudle type=\"EXE\" path=\"x.exe\"/></Regsvr>"
                                           "<Registry><Key/><Key rootkey=\"hkcu\"/>"
                                           "<Key rootkey=\"HKCU\"/>"
                                           "<Key rootkey=\"HKCU\" subkey=\"S\"><Value/></Key>"
                                           "</Registry><Files><File/></Files>")));
  LogCapture capture;
  ASSERT_TRUE(capture.ok());
  logging::SetDebugChecksEnabled(true);
  uninstall::UninstallManifest manifest;
  ASSERT_TRUE(manifest.Open(path));
  manifest.ForEachModule([](const uninstall::ManifestModule&) {});
  manifest.ForEachKey([&manifest](const uninstall::ManifestKey& key) {
    manifest.ForEachValueName(key, [](const std::wstring&) {});
  });
  manifest.ForEachFile([](const std::wstring&) {});
  logging::SetDebugChecksEnabled(false);
  base::DeletePath(folder, true);

  const Lines expected = {"Check failed: type. ",
                          "type == NULL",
                          "Check failed: path. ",
                          "path == NULL",
                          "Check failed: arg. ",
                          "arg == NULL",
                          "Check failed: root_key. ",
                          "root_key == NULL",
                          "Check failed: false. ",
                          "Check failed: sub_key. ",
                          "sub_key == NULL",
                          "Check failed: name. ",
                          "name == NULL",
                          "Check failed: path_name. ",
                          "path_name == NULL"};
  EXPECT_EQ(expected, capture.Lines());
}

TEST(ExpandPathMacros, ReplacesBothMacrosEverywhereAndNothingElse) {
  struct Case {
    const char* value;
    const char* install;
    const char* common;
    const char* expanded;
  } cases[] = {
      {"$intallpath$\\Bin\\a.dll", "C:\\Kivo", "C:\\CF", "C:\\Kivo\\Bin\\a.dll"},
      // The stored path keeps its trailing separator.
      {"$intallpath$\\Bin\\a.dll", "C:\\Kivo\\", "C:\\CF", "C:\\Kivo\\\\Bin\\a.dll"},
      {"$intallpath$\\a;$intallpath$\\b", "D:\\K", "", "D:\\K\\a;D:\\K\\b"},
      {"$common$\\Norvane\\x.dll", "C:\\Kivo", "C:\\Program Files (x86)\\Common Files",
       "C:\\Program Files (x86)\\Common Files\\Norvane\\x.dll"},
      {"$common$\\x.dll", "C:\\Kivo", "", "\\x.dll"},
      {"$intallpath$|$common$", "A", "B", "A|B"},
      // An inserted text is not searched again, even when it holds a macro.
      {"$intallpath$.", "$intallpath$", "", "$intallpath$."},
      // The install path is inserted first, then the Common Files macro is
      // replaced in the result, including one the install path brought in.
      {"$intallpath$", "C:\\$common$", "CF", "C:\\CF"},
      {"$INTALLPATH$\\a", "C:\\Kivo", "", "$INTALLPATH$\\a"},
      {"$installpath$\\a", "C:\\Kivo", "", "$installpath$\\a"},
      {"$intallpath\\a", "C:\\Kivo", "", "$intallpath\\a"},
      {"$other$\\a", "C:\\Kivo", "CF", "$other$\\a"},
      {"", "C:\\Kivo", "CF", ""},
      {"$intallpath$\\\xE6\x95\xB0.dll", "C:\\\xE6\x95\xB0", "",
       "C:\\\xE6\x95\xB0\\\xE6\x95\xB0.dll"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(c.expanded, uninstall::ExpandPathMacros(c.value, c.install, c.common));
  }
}

// HKEY_LOCAL_MACHINE of this process is mapped onto a key of its own under
// HKEY_CURRENT_USER, so the product key here is the test's alone.
class LocateManifestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake_root_path_ =
        L"Software\\KivoTest\\LocateManifest_" + std::to_wstring(GetCurrentProcessId());
    RegDeleteTreeW(HKEY_CURRENT_USER, fake_root_path_.c_str());
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, fake_root_path_.c_str(), 0, nullptr,
                                             0, KEY_ALL_ACCESS, nullptr, &fake_root_, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_LOCAL_MACHINE, fake_root_));
    root_ = TempFilePath(L"kivo_locate");
    install_ = root_ + L"\\Kivo";
    ASSERT_TRUE(base::CreateDirectoryPath(install_));
    SetupContext* context = SetupContext::GetInstance();
    context->SetWString("PreviousInstallPath", install_ + L"\\");
    context->SetWString("SetupTempPath", root_ + L"\\STemp");
  }
  void TearDown() override {
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    if (fake_root_) RegCloseKey(fake_root_);
    RegDeleteTreeW(HKEY_CURRENT_USER, fake_root_path_.c_str());
    base::DeletePath(root_, true);
  }

  void SetVersion(DWORD type, const std::wstring& version) {
    HKEY product = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(fake_root_, L"Software\\Norvane\\KivoNT", 0, nullptr,
                                             0, KEY_ALL_ACCESS, nullptr, &product, nullptr));
    EXPECT_EQ(
        ERROR_SUCCESS,
        RegSetValueExW(product, L"version", 0, type, reinterpret_cast<const BYTE*>(version.c_str()),
                       static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t))));
    RegCloseKey(product);
  }

  std::wstring Backup(const std::wstring& version) const {
    return root_ + L"\\STemp\\Uninstall\\" + version + L"\\Uninstall.xml";
  }

  void MakeFile(const std::wstring& path) {
    ASSERT_TRUE(base::CreateDirectoryPath(base::GetParentPath(path)));
    ASSERT_TRUE(WriteBytes(path, WithVersion(kOneFile)));
  }

  void ExpectLocated(const std::wstring& path, bool is_backup) {
    std::wstring located;
    bool backup = !is_backup;
    uninstall::LocateUninstallManifest(&located, &backup);
    EXPECT_EQ(base::WideToUTF8(path), base::WideToUTF8(located));
    EXPECT_EQ(is_backup, backup);
  }

  HKEY fake_root_ = nullptr;
  std::wstring fake_root_path_;
  std::wstring root_;
  std::wstring install_;
};

TEST_F(LocateManifestTest, PrimaryBackupAndFallback) {
  LogCapture capture;
  ASSERT_TRUE(capture.ok());
  const std::wstring primary = install_ + L"\\Uninstall.xml";

  SCOPED_TRACE("neither place: the primary path, whose load fails");
  ExpectLocated(primary, false);
  SetVersion(REG_SZ, L"9.1.0.100");
  ExpectLocated(primary, false);

  {
    SCOPED_TRACE("the backup, when the primary is absent");
    MakeFile(Backup(L"9.1.0.100"));
    ExpectLocated(Backup(L"9.1.0.100"), true);
    uninstall::UninstallManifest manifest;
    EXPECT_TRUE(manifest.Open(Backup(L"9.1.0.100")));
  }
  {
    SCOPED_TRACE("a version with variables");
    SetEnvironmentVariableW(L"KIVO_LOCATE_VERSION", L"9.2");
    SetVersion(REG_EXPAND_SZ, L"%KIVO_LOCATE_VERSION%.0.1");
    ExpectLocated(primary, false);
    MakeFile(Backup(L"9.2.0.1"));
    ExpectLocated(Backup(L"9.2.0.1"), true);
  }
  {
    SCOPED_TRACE("an empty version or no setup temp folder: no backup");
    SetVersion(REG_SZ, L"");
    ExpectLocated(primary, false);
    SetVersion(REG_SZ, L"9.1.0.100");
    SetupContext::GetInstance()->SetWString("SetupTempPath", L"");
    ExpectLocated(primary, false);
    SetupContext::GetInstance()->SetWString("SetupTempPath", root_ + L"\\STemp");
  }
  {
    SCOPED_TRACE("the primary, whatever kind of object it is, wins");
    ASSERT_TRUE(CreateDirectoryW(primary.c_str(), nullptr));
    ExpectLocated(primary, false);
    RemoveDirectoryW(primary.c_str());
    MakeFile(primary);
    ExpectLocated(primary, false);
    SetupContext::GetInstance()->SetWString("PreviousInstallPath", root_ + L"/Kivo//");
    ExpectLocated(primary, false);
  }
  EXPECT_TRUE(capture.Lines().empty());
}

}  // namespace
