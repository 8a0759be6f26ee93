#include "Uninstall/task/remoting_machine_uninstall.h"

#include <windows.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "TarnelSetup/setup_context.h"
#include "base/file_path_util.h"
#include "base/utf_string_conversions.h"
#include "gtest/gtest.h"
#include "tests/support/child_process.h"
#include "tests/support/log_capture.h"
#include "tests/support/test_paths.h"
#include "tests/support/test_files.h"

namespace {

using test_files::WriteBytes;

typedef std::vector<std::string> Lines;
using uninstall::RemotingMachineUninstall;

const char kSource[] = "remoting_machine_uninstall.cc] ";

std::string Info(const std::string& text) { return std::string("[INFO:") + kSource + text; }
std::string Error(const std::string& text) { return std::string("[ERROR:") + kSource + text; }
std::string U8(const std::wstring& text) { return base::WideToUTF8(text); }

// A fresh installation root in the temporary folder, removed afterwards.
class RemotingRootTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(capture_.ok());
    root_ = TempFilePath(L"kivo_remoting");
    ASSERT_TRUE(base::CreateDirectoryPath(root_));
  }
  void TearDown() override { base::DeletePath(root_, true); }

  std::wstring ConfigPath() const { return root_ + L"\\versions\\config.json"; }
  std::wstring InstallerPath(const std::wstring& version) const {
    return root_ + L"\\versions\\" + version + L"\\resources\\app\\kremoting_installer.exe";
  }

  LogCapture capture_;
  std::wstring root_;
};

struct ConfigCase {
  const char* name;
  std::string config;  // bytes of config.json
  // The version folder the text names, or null when it names none.
  const wchar_t* version;
};

class CurVersionTest : public RemotingRootTest, public ::testing::WithParamInterface<ConfigCase> {};

TEST_P(CurVersionTest, ResolvesOnlyUsableVersionFolders) {
  const ConfigCase& c = GetParam();
  ASSERT_TRUE(WriteBytes(ConfigPath(), c.config));
  // Every folder a valid text may name has its installer, so only the text
  // decides.
  for (const wchar_t* version : {L"1.0.2", L"..x", L"9.1.0"}) {
    ASSERT_TRUE(WriteBytes(InstallerPath(version), "MZ"));
  }

  std::wstring installer = L"untouched";
  const bool resolved = RemotingMachineUninstall::ResolveHostInstaller(root_, &installer);

  if (c.version) {
    EXPECT_TRUE(resolved);
    EXPECT_EQ(InstallerPath(c.version), installer);
    EXPECT_EQ(Lines({Info("RemotingMachineUninstall: current HostInstaller resolved, version=" +
                          U8(c.version) + ", path=" + U8(InstallerPath(c.version)))}),
              capture_.LinesWithSource());
  } else {
    EXPECT_FALSE(resolved);
    EXPECT_EQ(L"untouched", installer);
    EXPECT_EQ(
        Lines({Error("RemotingMachineUninstall: invalid curVersion, path=" + U8(ConfigPath()))}),
        capture_.LinesWithSource());
  }
}

const char kBom[] = "\xEF\xBB\xBF";

INSTANTIATE_TEST_SUITE_P(
    Configs, CurVersionTest,
    ::testing::Values(
        ConfigCase{"dotted", R"({"curVersion":"1.0.2"})", L"1.0.2"},
        ConfigCase{"leading_dots", R"({"curVersion":"..x"})", L"..x"},
        ConfigCase{"other_members_ignored",
                   " {\n \"versions\": [1, 2], \"curVersion\" : \"9.1.0\", \"x\": {}\n}\n ",
                   L"9.1.0"},
        ConfigCase{"utf8_bom_skipped", std::string(kBom) + R"({"curVersion":"1.0.2"})", L"1.0.2"},
        ConfigCase{"empty", R"({"curVersion":""})", nullptr},
        ConfigCase{"dot", R"({"curVersion":"."})", nullptr},
        ConfigCase{"dot_dot", R"({"curVersion":".."})", nullptr},
        ConfigCase{"slash", R"({"curVersion":"1.0/2"})", nullptr},
        ConfigCase{"backslash", R"({"curVersion":"1.0\\2"})", nullptr},
        ConfigCase{"colon", R"({"curVersion":"C:x"})", nullptr},
        ConfigCase{"escaped_nul", R"({"curVersion":"1.0.2\u0000x"})", nullptr},
        ConfigCase{"number", R"({"curVersion":102})", nullptr},
        ConfigCase{"null", R"({"curVersion":null})", nullptr},
        ConfigCase{"member_missing", R"({"current":"1.0.2"})", nullptr},
        ConfigCase{"member_name_case", R"({"CurVersion":"1.0.2"})", nullptr},
        ConfigCase{"array_root", R"([{"curVersion":"1.0.2"}])", nullptr},
        ConfigCase{"string_root", R"("1.0.2")", nullptr},
        ConfigCase{"trailing_junk", R"({"curVersion":"1.0.2"} x)", nullptr},
        ConfigCase{"second_value", R"({"curVersion":"1.0.2"}{})", nullptr},
        ConfigCase{"comment", "{\"curVersion\":\"1.0.2\"} // current\n", nullptr},
        ConfigCase{"bom_after_space", std::string(" ") + kBom + R"({"curVersion":"1.0.2"})",
                   nullptr},
        ConfigCase{"utf16_bom", std::string("\xFF\xFE{\0\"\0}\0", 8), nullptr},
        ConfigCase{"invalid_utf8", "{\"curVersion\":\"1.0.2\xC3\"}", nullptr},
        ConfigCase{"truncated", R"({"curVersion":"1.0.2")", nullptr},
        ConfigCase{"empty_file", "", nullptr}),
    [](const ::testing::TestParamInfo<ConfigCase>& info) { return info.param.name; });

TEST_F(RemotingRootTest, ConfigThatCannotBeReadIsReportedWithItsError) {
  std::wstring installer = L"untouched";
  EXPECT_FALSE(RemotingMachineUninstall::ResolveHostInstaller(root_, &installer));
  ASSERT_TRUE(base::CreateDirectoryPath(root_ + L"\\versions"));
  EXPECT_FALSE(RemotingMachineUninstall::ResolveHostInstaller(root_, &installer));
  EXPECT_EQ(L"untouched", installer);

  const std::string prefix =
      "RemotingMachineUninstall: read versions config failed, path=" + U8(ConfigPath());
  EXPECT_EQ(Lines({Error(prefix + ", error=3"), Error(prefix + ", error=2")}),
            capture_.LinesWithSource());
}

TEST_F(RemotingRootTest, MissingInstallerStillGivesItsPath) {
  ASSERT_TRUE(WriteBytes(ConfigPath(), R"({"curVersion":"1.0.2"})"));
  // A trailing separator on the root is dropped when paths are joined.
  std::wstring installer;
  EXPECT_FALSE(RemotingMachineUninstall::ResolveHostInstaller(root_ + L"\\", &installer));
  EXPECT_EQ(InstallerPath(L"1.0.2"), installer);
  ASSERT_TRUE(base::CreateDirectoryPath(root_ + L"\\versions\\1.0.2\\resources\\app"));
  EXPECT_FALSE(RemotingMachineUninstall::ResolveHostInstaller(root_, &installer));

  const std::string prefix =
      "RemotingMachineUninstall: current HostInstaller missing, "
      "version=1.0.2, path=" +
      U8(InstallerPath(L"1.0.2"));
  EXPECT_EQ(Lines({Error(prefix + ", error=3"), Error(prefix + ", error=2")}),
            capture_.LinesWithSource());
}

// The recorder test program stands in for the installer: it records its
// command line beside itself and exits with the code of its control file.
class HostInstallerTest : public RemotingRootTest {
 protected:
  void SetUp() override {
    RemotingRootTest::SetUp();
    installer_ = InstallerPath(L"1.0.2");
    ASSERT_TRUE(base::CreateDirectoryPath(base::GetParentPath(installer_)));
    const std::wstring recorder = std::wstring(test_paths::kToolsDir) + L"\\recorder.exe";
    ASSERT_TRUE(CopyFileW(recorder.c_str(), installer_.c_str(), FALSE))
        << "recorder.exe missing: build kivo_all_tests (" << GetLastError() << ")";
  }

  void SetExitCode(int code) {
    ASSERT_TRUE(WriteBytes(installer_ + L".control", "exit=" + std::to_string(code) + "\n"));
  }

  // The command lines the installer was started with, in order.
  std::vector<std::wstring> RecordedCommandLines() const {
    std::vector<std::wstring> lines;
    const std::string text = ReadFileBytes(installer_ + L".cmdline.txt");
    size_t begin = 0;
    while (begin < text.size()) {
      size_t end = text.find('\n', begin);
      if (end == std::string::npos) end = text.size();
      const nlohmann::json record =
          nlohmann::json::parse(text.substr(begin, end - begin), nullptr, false);
      const std::string* cmdline =
          record.is_object() && record.contains("cmdline")
              ? record["cmdline"].get_ptr<const nlohmann::json::string_t*>()
              : nullptr;
      lines.push_back(cmdline ? base::UTF8ToWide(*cmdline) : L"<unreadable record>");
      begin = end + 1;
    }
    return lines;
  }

  std::string LaunchLine(const std::wstring& root) const {
    return "RemotingMachineUninstall: launch HostInstaller, executable=" + U8(installer_) +
           ", root=" + U8(root) + ", requestor_pid=" + std::to_string(GetCurrentProcessId());
  }

  std::wstring installer_;
};

TEST_F(HostInstallerTest, StartsTheInstallerWithTheMachineUninstallLine) {
  SetExitCode(0);
  // Slashes and trailing separators are cleaned up for the installer only.
  std::wstring messy_root = root_ + L"/";
  for (wchar_t& c : messy_root) {
    if (c == L'\\') c = L'/';
  }
  messy_root += L"\\";

  EXPECT_TRUE(RemotingMachineUninstall::LaunchHostInstaller(installer_, messy_root));

  const std::wstring expected =
      L"\"" + installer_ + L"\" --mode=uninstall --machine-uninstall --requestor-pid=" +
      std::to_wstring(GetCurrentProcessId()) + L" --kivo-install-root=\"" + root_ + L"\"";
  EXPECT_EQ(std::vector<std::wstring>({expected}), RecordedCommandLines());
  EXPECT_EQ(Lines({Info(LaunchLine(messy_root)),
                   Info("RemotingMachineUninstall: HostInstaller completed successfully")}),
            capture_.LinesWithSource());
}

TEST_F(HostInstallerTest, NonZeroExitCodeIsAFailure) {
  for (int code : {3, 259, -1}) {
    SCOPED_TRACE(code);
    SetExitCode(code);
    EXPECT_FALSE(RemotingMachineUninstall::LaunchHostInstaller(installer_, root_));
  }
  EXPECT_EQ(3u, RecordedCommandLines().size());
  const std::string failed = "RemotingMachineUninstall: HostInstaller failed, wait=0, wait_error=0";
  EXPECT_EQ(Lines({Info(LaunchLine(root_)), Error(failed + ", exit=3, exit_error=0"),
                   Info(LaunchLine(root_)), Error(failed + ", exit=259, exit_error=0"),
                   Info(LaunchLine(root_)), Error(failed + ", exit=4294967295, exit_error=0")}),
            capture_.LinesWithSource());
}

TEST_F(HostInstallerTest, InstallerThatCannotStartIsReported) {
  const std::wstring missing = root_ + L"\\versions\\2.0\\kremoting_installer.exe";
  EXPECT_FALSE(RemotingMachineUninstall::LaunchHostInstaller(missing, root_));
  const std::string launch =
      "RemotingMachineUninstall: launch HostInstaller, executable=" + U8(missing) +
      ", root=" + U8(root_) + ", requestor_pid=" + std::to_string(GetCurrentProcessId());
  EXPECT_EQ(Lines({Info(launch),
                   Error("RemotingMachineUninstall: launch HostInstaller failed, error=2")}),
            capture_.LinesWithSource());
}

TEST(RemotingMachineUninstallTest, NoInstallPathStillLetsTheUninstallGoOn) {
  SetupContext* context = SetupContext::GetInstance();
  std::wstring root;
  if (context->GetWString("PreviousInstallPath", &root)) {
    GTEST_SKIP() << "needs a setup context without \"PreviousInstallPath\"; an earlier test "
                    "of this program wrote it";
  }
  LogCapture capture;
  ASSERT_TRUE(capture.ok());
  RemotingMachineUninstall task;
  task.Run(nullptr);
  std::string result;
  EXPECT_TRUE(context->GetString("RemotingMachineUninstallResult", &result));
  EXPECT_EQ("ResultSuccess", result);
  EXPECT_EQ(Lines({Error("RemotingMachineUninstall: previous install path unavailable")}),
            capture.LinesWithSource());
}

}  // namespace
