#include "TarnelSetup/task_class_registry.h"

#include <memory>
#include <string>
#include <vector>

#include "TarnelSetup/task_base.h"
#include "gtest/gtest.h"

namespace {

// The program's task classes in the order the table must hold them.
// clang-format off
const char* const kProgramClasses[] = {
    "TaskExit",
    "ClearUninstallTempDir",
    "CheckKivoRunning",
    "ClearInstallDir",
    "CompleteUninstall",
    "RemotingMachineUninstall",
    "DeleteFiles",
    "GetUninstallEnvironment",
    "KillNorvaneProcess",
    "StartUninstall",
    "TaskbarUnpinShortLink",
    "UninstallVevuRe",
    "UninstallPellux",
    "UninstallUploadResult",
};
// clang-format on
const size_t kProgramClassCount = sizeof(kProgramClasses) / sizeof(kProgramClasses[0]);

// Tells its instances apart by the factory that made them.
class TaggedTask : public task::TaskBase {
 public:
  explicit TaggedTask(int tag) : tag(tag) {}
  void Run(task_object::RuntimeObject*) override {}
  const int tag;
};

template <int kTag>
task::TaskBase* MakeTagged() {
  return new TaggedTask(kTag);
}

int TagOf(task::TaskBase* task) {
  std::unique_ptr<task::TaskBase> owned(task);
  TaggedTask* tagged = dynamic_cast<TaggedTask*>(task);
  return tagged ? tagged->tag : -1;
}

std::vector<std::string> Names(const task::TaskClassRegistry& registry) {
  std::vector<std::string> names;
  for (int i = 0; i < registry.count(); ++i) names.push_back(registry.info(i)->class_name);
  return names;
}

TEST(TaskClassRegistryTest, KeepsTheFirst96RecordsAndDropsTheRest) {
  task::TaskClassRegistry registry;
  std::vector<std::string> names;
  for (int i = 0; i < 97; ++i) names.push_back("Generated" + std::to_string(i));
  std::vector<task::TaskClassInfo> infos;
  for (const std::string& name : names) infos.push_back({&MakeTagged<1>, name.c_str()});

  for (int i = 0; i < 96; ++i) EXPECT_TRUE(registry.Register(&infos[i])) << i;
  EXPECT_FALSE(registry.Register(&infos[96]));
  EXPECT_EQ(96, registry.count());
  EXPECT_EQ(&infos[95], registry.Find("Generated95"));
  EXPECT_EQ(nullptr, registry.Find("Generated96"));
  EXPECT_EQ(nullptr, registry.CreateTask("Generated96"));
  // A full table stays full: a listed class cannot push a record out either.
  task::TaskClassInfo exit_info = {&MakeTagged<2>, "TaskExit"};
  EXPECT_FALSE(registry.Register(&exit_info));
  EXPECT_EQ(nullptr, registry.Find("TaskExit"));
  EXPECT_EQ(&infos[0], registry.info(0));
}

TEST(TaskClassRegistryTest, OrderIsTheProgramsListWhateverTheArrivalOrder) {
  task::TaskClassRegistry registry;
  std::vector<task::TaskClassInfo> infos;
  infos.push_back({&MakeTagged<1>, "UnlistedFirst"});
  for (size_t i = kProgramClassCount; i-- > 0;)
    infos.push_back({&MakeTagged<1>, kProgramClasses[i]});
  infos.push_back({&MakeTagged<1>, "UnlistedLast"});
  for (const task::TaskClassInfo& info : infos) ASSERT_TRUE(registry.Register(&info));

  std::vector<std::string> expected(kProgramClasses, kProgramClasses + kProgramClassCount);
  expected.push_back("UnlistedFirst");
  expected.push_back("UnlistedLast");
  EXPECT_EQ(expected, Names(registry));
}

TEST(TaskClassRegistryTest, FirstOfTwoRecordsWithOneNameWins) {
  task::TaskClassRegistry registry;
  task::TaskClassInfo first = {&MakeTagged<1>, "StartUninstall"};
  task::TaskClassInfo second = {&MakeTagged<2>, "StartUninstall"};
  task::TaskClassInfo unlisted_first = {&MakeTagged<3>, "Mine"};
  task::TaskClassInfo unlisted_second = {&MakeTagged<4>, "Mine"};
  for (const task::TaskClassInfo* info : {&first, &second, &unlisted_first, &unlisted_second})
    ASSERT_TRUE(registry.Register(info));
  EXPECT_EQ(1, TagOf(registry.CreateTask("StartUninstall")));
  EXPECT_EQ(3, TagOf(registry.CreateTask("Mine")));
}

TEST(TaskClassRegistryTest, NamesMatchOnlyByteForByte) {
  task::TaskClassRegistry registry;
  task::TaskClassInfo info = {&MakeTagged<1>, "TaskExit"};
  ASSERT_TRUE(registry.Register(&info));
  EXPECT_EQ(1, TagOf(registry.CreateTask("TaskExit")));
  const std::string misses[] = {"taskexit",  "TASKEXIT", "TaskExit ",
                                " TaskExit", "TaskExi",  std::string("TaskExit\0", 9),
                                ""};
  for (const std::string& miss : misses) {
    SCOPED_TRACE("'" + miss + "'");
    EXPECT_EQ(nullptr, registry.Find(miss));
    EXPECT_EQ(nullptr, registry.CreateTask(miss));
  }
}

// The process-wide table as the static initialisers left it: the program's
// classes that exist so far, in the list's order, then unlisted ones.
TEST(TaskClassRegistryTest, ProcessTableHoldsTheProgramsClassesInOrder) {
  const task::TaskClassRegistry& registry = task::TaskClassRegistry::Global();
  std::vector<std::string> listed;
  bool unlisted_seen = false;
  for (const std::string& name : Names(registry)) {
    bool is_listed = false;
    for (const char* program_class : kProgramClasses) is_listed |= name == program_class;
    if (is_listed) {
      EXPECT_FALSE(unlisted_seen) << name << " comes after an unlisted class";
      listed.push_back(name);
    } else {
      unlisted_seen = true;
    }
  }
  std::vector<std::string> in_list_order;
  for (const char* program_class : kProgramClasses) {
    for (const std::string& name : listed) {
      if (name == program_class) in_list_order.push_back(name);
    }
  }
  EXPECT_EQ(in_list_order, listed);
  for (const char* present : {"TaskExit", "CompleteUninstall", "StartUninstall"}) {
    SCOPED_TRACE(present);
    std::unique_ptr<task::TaskBase> instance(registry.CreateTask(present));
    EXPECT_TRUE(instance);
  }
}

}  // namespace
