#include "TarnelSetup/task_class_registry.h"

#include <string.h>

namespace task {

namespace {

// The program's task classes in the order in which the registry holds them.
// Static initialisers of separate files run in link order, which nobody
// controls; ranking each record by its line here keeps the table's order
// fixed whatever that order is. A new task class adds its name here.
// clang-format off
const char* const kTaskClassOrder[] = {
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
const int kListedCount = static_cast<int>(sizeof(kTaskClassOrder) / sizeof(kTaskClassOrder[0]));

// Constant-initialised: registrations from other files' static initialisers
// may come before this file's own dynamic initialisation.
TaskClassRegistry g_task_class_registry;

}  // namespace

// static
TaskClassRegistry& TaskClassRegistry::Global() { return g_task_class_registry; }

// static
int TaskClassRegistry::RankOf(const char* class_name) {
  if (!class_name) return kListedCount;
  for (int i = 0; i < kListedCount; ++i) {
    if (strcmp(kTaskClassOrder[i], class_name) == 0) return i;
  }
  return kListedCount;
}

bool TaskClassRegistry::Register(const TaskClassInfo* info) {
  if (!info || count_ >= kMaxTaskClasses) return false;
  const int rank = RankOf(info->class_name);
  // After every record of the same or a lower rank: equal ranks keep their
  // arrival order, so the first of two records with one name still wins.
  int slot = count_;
  while (slot > 0 && ranks_[slot - 1] > rank) {
    infos_[slot] = infos_[slot - 1];
    ranks_[slot] = ranks_[slot - 1];
    --slot;
  }
  infos_[slot] = info;
  ranks_[slot] = rank;
  ++count_;
  return true;
}

const TaskClassInfo* TaskClassRegistry::Find(const std::string& class_name) const {
  for (int i = 0; i < count_; ++i) {
    const char* name = infos_[i]->class_name;
    // std::string == const char*: equal length and equal bytes; a name with
    // an embedded zero byte therefore matches nothing.
    if (name && class_name == name) return infos_[i];
  }
  return nullptr;
}

TaskBase* TaskClassRegistry::CreateTask(const std::string& class_name) const {
  const TaskClassInfo* info = Find(class_name);
  if (!info || !info->factory) return nullptr;
  return info->factory();
}

}  // namespace task
