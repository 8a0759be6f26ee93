#include "TarnelSetup/uninstall/delete_files.h"

#include <windows.h>

#include <string>

#include "TarnelSetup/setup_context.h"
#include "TarnelSetup/task_class_registry.h"
#include "base/file_path_util.h"
#include "base/utf_string_conversions.h"
#include "gtest/gtest.h"
#include "tests/support/log_capture.h"
#include "tests/support/test_files.h"

namespace {

using test_files::Exists;
using test_files::WriteBytes;

// An installation folder in the temporary folder whose manifest lists its
// one data file and the folder itself.
class DeleteFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH] = {};
    ASSERT_NE(0u, GetTempPathW(MAX_PATH, temp));
    root_ =
        base::JoinPath(temp, L"kivo_delete_files_test_" + std::to_wstring(GetCurrentProcessId()));
    install_dir_ = base::JoinPath(root_, L"Kivo");
    data_file_ = base::JoinPath(install_dir_, L"data.txt");
    manifest_ = base::JoinPath(install_dir_, L"Uninstall.xml");
    ASSERT_TRUE(base::CreateDirectoryPath(install_dir_));
    ASSERT_TRUE(WriteBytes(data_file_, "data"));
    const std::string manifest =
        "<Uninstall><Version versionnum=\"1.0\"/><Files>"
        "<File path=\"" +
        base::WideToUTF8(data_file_) +
        "\"/>"
        "<Dir path=\"" +
        base::WideToUTF8(install_dir_) +
        "\"/>"
        "</Files></Uninstall>";
    ASSERT_TRUE(WriteBytes(manifest_, manifest));
    SetupContext::GetInstance()->SetWString("PreviousInstallPath", install_dir_);
  }

  void TearDown() override {
    std::wstring aside;
    SetupContext::GetInstance()->GetWString("DeleteFileTempPath", &aside);
    if (!aside.empty()) base::DeletePath(aside, true);
    base::DeletePath(root_, true);
  }

  std::wstring root_;
  std::wstring install_dir_;
  std::wstring data_file_;
  std::wstring manifest_;
};

TEST_F(DeleteFilesTest, RegisteredUnderItsName) {
  const task::TaskClassInfo* info = task::TaskClassRegistry::Global().Find("DeleteFiles");
  ASSERT_NE(nullptr, info);
  task::TaskBase* task = info->factory();
  EXPECT_NE(nullptr, dynamic_cast<uninstall::DeleteFiles*>(task));
  delete task;
}

// Only an installation the product's own setup made is removed; any other
// type makes the task return before it reads anything.
TEST_F(DeleteFilesTest, OnlyANewSetupInstallationIsTouched) {
  for (const char* type : {"OldSetup", "newsetup", "NewSetup ", ""}) {
    SCOPED_TRACE(std::string("PreviousInstallType \"") + type + "\"");
    LogCapture log;
    ASSERT_TRUE(log.ok());
    SetupContext::GetInstance()->SetString("PreviousInstallType", type);
    uninstall::DeleteFiles().Run(nullptr);
    EXPECT_TRUE(Exists(data_file_));
    EXPECT_TRUE(Exists(manifest_));
    EXPECT_EQ(std::vector<std::string>(), log.Lines());
  }

  SetupContext::GetInstance()->SetString("PreviousInstallType", "NewSetup");
  uninstall::DeleteFiles().Run(nullptr);
  EXPECT_FALSE(Exists(data_file_));
  EXPECT_FALSE(Exists(manifest_));
  EXPECT_FALSE(Exists(install_dir_));
}

}  // namespace
