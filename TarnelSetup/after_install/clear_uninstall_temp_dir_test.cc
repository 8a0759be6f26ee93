#include "TarnelSetup/after_install/clear_uninstall_temp_dir.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "TarnelSetup/setup_context.h"
#include "TarnelSetup/task_class_registry.h"
#include "TarnelSetup/uninstall/remove_files.h"
#include "base/file_path_util.h"
#include "base/utf_string_conversions.h"
#include "gtest/gtest.h"
#include "tests/support/child_process.h"
#include "tests/support/log_capture.h"
#include "tests/support/pending_renames.h"
#include "tests/support/test_files.h"

namespace {

using test_files::Exists;
using test_files::HeldFile;

typedef std::vector<std::string> Lines;
typedef std::vector<PendingRenamesGuard::Operation> Operations;

const char kSource[] = ":clear_uninstall_temp_dir.cc] ";

std::string U8(const std::wstring& text) { return base::WideToUTF8(text); }

bool MakeFile(const std::wstring& path) {
  if (!base::CreateDirectoryPath(base::GetParentPath(path))) return false;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

void RunTask() {
  // As the engine runs it: on a thread of its own.
  std::thread([] { after_install::ClearUninstallTempDir().Run(nullptr); }).join();
}

// A removal temp folder in a fresh folder of the temporary folder; the
// restart-time list and this run's record of it are put back afterwards.
class ClearUninstallTempDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(capture_.ok());
    ASSERT_TRUE(pending_.ok());
    uninstall::ForgetScheduledAtRestart();
    root_ = TempFilePath(L"kivo_clear_temp");
    ASSERT_TRUE(base::CreateDirectoryPath(root_));
    folder_ = root_ + L"\\kivo_setup_4711";
    ASSERT_TRUE(base::CreateDirectoryPath(folder_));
    SetupContext::GetInstance()->SetWString("DeleteFileTempPath", folder_);
    // An installation elsewhere: the temp folder is not inside it.
    SetupContext::GetInstance()->SetWString("PreviousInstallPath", root_ + L"\\elsewhere\\Kivo");
  }
  void TearDown() override {
    base::DeletePath(root_, true);
    uninstall::ForgetScheduledAtRestart();
  }

  std::wstring In(const std::wstring& relative) const { return folder_ + L"\\" + relative; }

  Lines TaskLines() const {
    Lines lines;
    for (const std::string& line : capture_.LinesWithSource()) {
      if (line.find(kSource) != std::string::npos) lines.push_back(line);
    }
    return lines;
  }

  LogCapture capture_;
  PendingRenamesGuard pending_;
  std::wstring root_, folder_;
};

TEST(ClearUninstallTempDirNoFolder, WithoutTheKeyNothingHappens) {
  std::wstring value;
  if (SetupContext::GetInstance()->GetWString("DeleteFileTempPath", &value)) {
    GTEST_SKIP() << "another test of this program stored DeleteFileTempPath first; "
                    "run this one alone (--gtest_filter=ClearUninstallTempDirNoFolder.*)";
  }
  LogCapture capture;
  PendingRenamesGuard pending;
  ASSERT_TRUE(capture.ok());
  ASSERT_TRUE(pending.ok());
  RunTask();
  EXPECT_EQ(Lines(), capture.LinesWithSource());
  EXPECT_EQ(Operations(), pending.Added());
}

TEST_F(ClearUninstallTempDirTest, RegisteredUnderItsName) {
  std::unique_ptr<task::TaskBase> task(
      task::TaskClassRegistry::Global().CreateTask("ClearUninstallTempDir"));
  EXPECT_NE(nullptr, dynamic_cast<after_install::ClearUninstallTempDir*>(task.get()));
}

struct ContentCase {
  const char* name;
  std::vector<const wchar_t*> files;  // relative to the temp folder
  bool read_only;                     // the files are read-only
};

class DeletedNowTest : public ClearUninstallTempDirTest,
                       public ::testing::WithParamInterface<ContentCase> {};

TEST_P(DeletedNowTest, FolderGoesAtOnceWithNothingScheduled) {
  for (const wchar_t* file : GetParam().files) {
    ASSERT_TRUE(MakeFile(In(file)));
    if (GetParam().read_only) SetFileAttributesW(In(file).c_str(), FILE_ATTRIBUTE_READONLY);
  }

  RunTask();

  EXPECT_FALSE(Exists(folder_));
  EXPECT_TRUE(Exists(root_));
  EXPECT_EQ(Operations(), pending_.Added());
  EXPECT_EQ(Lines(), TaskLines());
}

INSTANTIATE_TEST_SUITE_P(
    Contents, DeletedNowTest,
    ::testing::Values(ContentCase{"empty", {}, false},
                      ContentCase{"files_and_folders",
                                  {L"~a_1.dll", L"~b_1.tar.gz", L"~x.y_1\\inner\\deep.txt"},
                                  false},
                      ContentCase{"read_only_files", {L"~a_1.dll", L"~sub_1\\r.txt"}, true}),
    [](const ::testing::TestParamInfo<ContentCase>& info) { return info.param.name; });

// A file in use, with files that can go around it: whatever the recursive
// delete stopped at is still cleared, and what is left is registered in an
// order that empties every folder before its own turn at restart.
struct InUseCase {
  const char* name;
  bool scheduled_by_delete_files;
};

class InUseTest : public ClearUninstallTempDirTest,
                  public ::testing::WithParamInterface<InUseCase> {};

TEST_P(InUseTest, LeftoversAreRegisteredBeforeTheirFolders) {
  const std::wstring held_path = In(L"~mod_1\\~kivo_1.dll");
  const std::vector<std::wstring> free_files = {In(L"~mod_1\\~free_1.txt"),
                                                In(L"~mod_1\\deep\\~d_1.txt"), In(L"~c_1.txt"),
                                                In(L"~e_1\\~e_1.txt")};
  ASSERT_TRUE(MakeFile(held_path));
  for (const std::wstring& path : free_files) ASSERT_TRUE(MakeFile(path));
  if (GetParam().scheduled_by_delete_files) {
    ASSERT_TRUE(uninstall::ScheduleDeleteAtRestart(held_path));
  }
  {
    HeldFile held(held_path);
    ASSERT_TRUE(held.ok());
    RunTask();
  }

  for (const std::wstring& path : free_files) EXPECT_FALSE(Exists(path)) << U8(path);
  EXPECT_FALSE(Exists(In(L"~e_1")));
  EXPECT_FALSE(Exists(In(L"~mod_1\\deep")));
  EXPECT_TRUE(Exists(held_path));
  EXPECT_EQ(
      Operations({PendingDelete(held_path), PendingDelete(In(L"~mod_1")), PendingDelete(folder_)}),
      pending_.Added());
  EXPECT_TRUE(uninstall::IsScheduledAtRestart(folder_));

  // One line for each entry this task registered itself.
  const Lines lines = TaskLines();
  std::vector<std::wstring> warned;
  for (const std::string& line : lines) {
    const std::string head = std::string("[WARNING") + kSource + "delete ";
    ASSERT_EQ(0u, line.rfind(head, 0)) << line;
    ASSERT_NE(std::string::npos, line.find(" failed with error : ")) << line;
    ASSERT_EQ(line.size() - 21, line.rfind(", delete after reboot")) << line;
    warned.push_back(
        base::UTF8ToWide(line.substr(head.size(), line.find(" failed") - head.size())));
  }
  std::vector<std::wstring> expected = {In(L"~mod_1")};
  if (!GetParam().scheduled_by_delete_files) expected.insert(expected.begin(), held_path);
  EXPECT_EQ(expected, warned);
}

INSTANTIATE_TEST_SUITE_P(Registrations, InUseTest,
                         ::testing::Values(InUseCase{"already_scheduled", true},
                                           InUseCase{"not_yet_scheduled", false}),
                         [](const ::testing::TestParamInfo<InUseCase>& info) {
                           return info.param.name;
                         });

// The install directory goes once nothing but the removal's leftovers kept
// it: on a volume other than the temporary folder's the removal temp folder
// is made inside it; files in use there, or in the directory itself, were
// registered for the restart.
struct HostCase {
  const char* name;
  bool temp_inside;     // the removal temp folder lies in the install directory
  bool in_use;          // a file in the temp folder cannot be deleted
  bool user_file;       // the install directory holds a file of the user's
  bool scheduled_file;  // the install directory holds a file scheduled earlier in the run
};

class InstallDirHostTest : public ClearUninstallTempDirTest,
                           public ::testing::WithParamInterface<HostCase> {
 protected:
  void SetUp() override {
    ClearUninstallTempDirTest::SetUp();
    install_dir_ = root_ + L"\\Kivo";
    ASSERT_TRUE(base::CreateDirectoryPath(install_dir_));
    if (GetParam().temp_inside) {
      folder_ = install_dir_ + L"\\kivo_setup_815";
      ASSERT_TRUE(base::CreateDirectoryPath(folder_));
      SetupContext::GetInstance()->SetWString("DeleteFileTempPath", folder_);
    }
    // As the registry gave it: other case, forward slashes, trailing separator.
    std::wstring spelled = install_dir_ + L"/";
    std::replace(spelled.begin(), spelled.end(), L'\\', L'/');
    std::transform(spelled.begin(), spelled.end(), spelled.begin(), towupper);
    SetupContext::GetInstance()->SetWString("PreviousInstallPath", spelled);
    spelled_ = base::NormalizePath(spelled);
  }

  std::wstring install_dir_, spelled_;
};

TEST_P(InstallDirHostTest, GoesWhenOnlyTheRemovalsLeftoversHeldIt) {
  const HostCase& c = GetParam();
  const std::wstring held_path = In(L"~kivo_1.dll");
  ASSERT_TRUE(MakeFile(held_path));
  ASSERT_TRUE(MakeFile(In(L"~free_1.txt")));
  const std::wstring user_file = install_dir_ + L"\\notes.txt";
  if (c.user_file) {
    ASSERT_TRUE(MakeFile(user_file));
  }
  const std::wstring earlier = install_dir_ + L"\\~shell_1.dll";
  if (c.scheduled_file) {
    ASSERT_TRUE(MakeFile(earlier));
    ASSERT_TRUE(uninstall::ScheduleDeleteAtRestart(earlier));
  }
  if (c.in_use) {
    ASSERT_TRUE(uninstall::ScheduleDeleteAtRestart(held_path));
  }
  {
    std::unique_ptr<HeldFile> held;
    if (c.in_use) {
      held.reset(new HeldFile(held_path));
      ASSERT_TRUE(held->ok());
    }
    RunTask();
  }

  Operations expected;
  if (c.scheduled_file) expected.push_back(PendingDelete(earlier));
  if (c.in_use) {
    expected.push_back(PendingDelete(held_path));
    expected.push_back(PendingDelete(folder_));
  }
  EXPECT_EQ(c.in_use, Exists(folder_));
  Lines lines;
  if (c.user_file) {
    EXPECT_TRUE(Exists(install_dir_));
  } else if ((c.in_use && c.temp_inside) || c.scheduled_file) {
    // Left for the restart, after everything still in it.
    EXPECT_TRUE(Exists(install_dir_));
    expected.push_back(PendingDelete(spelled_));
    lines.push_back(
        std::string("[WARNING") + kSource +
        "dir holds only files deleted after reboot, delete after reboot : " + U8(spelled_));
  } else {
    EXPECT_FALSE(Exists(install_dir_));
    lines.push_back(std::string("[INFO") + kSource + "delete empty install dir : " + U8(spelled_));
  }
  if (c.user_file) {
    EXPECT_TRUE(Exists(user_file));
  }
  EXPECT_EQ(expected, pending_.Added());
  EXPECT_EQ(lines, TaskLines());
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, InstallDirHostTest,
    ::testing::Values(HostCase{"temp_elsewhere", false, false, false, false},
                      HostCase{"temp_elsewhere_user_file", false, false, true, false},
                      HostCase{"temp_elsewhere_in_use", false, true, false, false},
                      HostCase{"temp_elsewhere_earlier_scheduled", false, false, false, true},
                      HostCase{"temp_inside", true, false, false, false},
                      HostCase{"temp_inside_user_file", true, false, true, false},
                      HostCase{"temp_inside_earlier_scheduled", true, false, false, true},
                      HostCase{"temp_inside_in_use", true, true, false, false},
                      HostCase{"temp_inside_in_use_user_file", true, true, true, false},
                      HostCase{"temp_inside_in_use_earlier_scheduled", true, true, false, true}),
    [](const ::testing::TestParamInfo<HostCase>& info) { return info.param.name; });

TEST_F(ClearUninstallTempDirTest, InstallDirAlreadyScheduledIsNotRegisteredTwice) {
  const std::wstring install_dir = root_ + L"\\Kivo";
  const std::wstring held = install_dir + L"\\data.db";
  ASSERT_TRUE(MakeFile(held));
  // As DeleteFiles leaves it: a file in use scheduled in place, its folder after it.
  ASSERT_TRUE(uninstall::ScheduleDeleteAtRestart(held));
  ASSERT_TRUE(uninstall::ScheduleDeleteAtRestart(install_dir));
  SetupContext::GetInstance()->SetWString("PreviousInstallPath", install_dir);

  RunTask();

  EXPECT_FALSE(Exists(folder_));
  EXPECT_EQ(Operations({PendingDelete(held), PendingDelete(install_dir)}), pending_.Added());
  EXPECT_EQ(Lines(), TaskLines());
}

}  // namespace
