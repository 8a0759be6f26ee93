// The engine on small graphs: real setup threads, the real dispatcher, test
// task classes that record where and when they ran, and the log's task lines.
#include "TarnelSetup/task_base.h"

#include <windows.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "TarnelSetup/runtime_object.h"
#include "TarnelSetup/setup_context.h"
#include "TarnelSetup/setup_thread.h"
#include "TarnelSetup/task_class_registry.h"
#include "TarnelSetup/task_context.h"
#include "TarnelSetup/task_dispatcher.h"
#include "TarnelSetup/task_xml_parser.h"
#include "base/at_exit.h"
#include "base/logging.h"
#include "base/message_loop.h"
#include "gtest/gtest.h"
#include "tests/support/log_capture.h"
#include "tests/support/setup_threads_for_test.h"

using task_object::RuntimeObject;
using task_object::TaskContext;

namespace {

typedef std::vector<std::string> Lines;

// What one Run saw of its thread.
struct RunRecord {
  std::string name;
  DWORD os_thread_id = 0;
  bool on_setup_thread = false;
  int setup_thread_id = -1;
  std::string loop_thread_name;
  HANDLE thread = nullptr;  // a duplicate, to tell later whether the thread has ended
  // Earlier records not on a setup thread whose thread had ended by then.
  std::vector<std::string> ended_before;
};

class Recorder {
 public:
  ~Recorder() { Clear(); }

  void Add(RunRecord record) {
    std::lock_guard<std::mutex> hold(lock_);
    for (const RunRecord& earlier : records_) {
      if (!earlier.on_setup_thread && WaitForSingleObject(earlier.thread, 0) == WAIT_OBJECT_0)
        record.ended_before.push_back(earlier.name);
    }
    records_.push_back(record);
  }

  std::vector<RunRecord> records() {
    std::lock_guard<std::mutex> hold(lock_);
    return records_;
  }

  void Clear() {
    std::lock_guard<std::mutex> hold(lock_);
    for (RunRecord& record : records_) CloseHandle(record.thread);
    records_.clear();
  }

 private:
  std::mutex lock_;
  std::vector<RunRecord> records_;
};

Recorder g_recorder;

// Records its thread; logs its work and its deletion.
class RecordTask : public task::TaskBase {
 public:
  ~RecordTask() override { LOG(INFO) << "test task deleted " << name_; }

  void Run(RuntimeObject* object) override {
    name_ = object->name();
    LOG(INFO) << "test task work " << name_;
    RunRecord record;
    record.name = name_;
    record.os_thread_id = GetCurrentThreadId();
    record.on_setup_thread = setup::SetupThread::GetCurrentId(&record.setup_thread_id);
    record.loop_thread_name = base::MessageLoop::current()->thread_name();
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &record.thread,
                    SYNCHRONIZE, FALSE, 0);
    g_recorder.Add(record);
  }

 private:
  std::string name_;
};

// Stores each in-parameter "key=value" with SetString, as a task that
// reports a result does.
class SetValueTask : public task::TaskBase {
 public:
  void Run(RuntimeObject* object) override {
    for (const std::string& param : object->in_params()) {
      size_t equals = param.find('=');
      if (equals != std::string::npos)
        SetupContext::GetInstance()->SetString(param.substr(0, equals), param.substr(equals + 1));
    }
  }
};

}  // namespace

REGISTER_TASK_CLASS(RecordTask, "TestRecord");
REGISTER_TASK_CLASS(SetValueTask, "TestSetValue");

namespace {

// A graph whose start object is S: |objects| are runtime objects of class
// TestRecord, |more_tasks| further Task elements; Exit is a TaskExit.
std::string Graph(const std::string& objects, const std::string& more_tasks = "") {
  return "<?xml version=\"1.0\"?><Tasks name=\"Test\" start=\"S\">"
         "<Task name=\"T\" class=\"TestRecord\">" +
         objects + "</Task>" + more_tasks +
         "<Task name=\"E\" class=\"TaskExit\"><RuntimeObject name=\"Exit\"/></Task></Tasks>";
}

std::vector<std::string> Started(std::initializer_list<const char*> names) {
  std::vector<std::string> lines;
  for (const char* name : names) {
    lines.push_back(std::string("run task name ") + name + " start");
    lines.push_back(std::string("run task name ") + name + " end");
  }
  return lines;
}

Lines CheckLines(const Lines& lines) {
  Lines out;
  for (const std::string& line : lines) {
    if (line.compare(0, 14, "Check failed: ") == 0) out.push_back(line);
  }
  return out;
}

size_t IndexOf(const Lines& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) - lines.begin();
}

// The program's singletons (setup context, dispatcher) register their
// destruction with the at-exit manager; the test program has one, as the
// product's entry has.
class AtExitEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { at_exit_.reset(new base::AtExitManager()); }
  void TearDown() override { at_exit_.reset(); }

 private:
  std::unique_ptr<base::AtExitManager> at_exit_;
};
::testing::Environment* const g_at_exit_environment =
    ::testing::AddGlobalTestEnvironment(new AtExitEnvironment);

class TaskEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(capture_.ok());
    ASSERT_TRUE(threads_.ok());
    // After the capture: opening a log switches them off.
    logging::SetDebugChecksEnabled(true);
    g_recorder.Clear();
  }
  void TearDown() override {
    logging::SetDebugChecksEnabled(false);
    g_recorder.Clear();
  }

  // Loads |graph| from memory, runs it through the dispatcher until its exit
  // task has quit the UI loop and ended, then stops the sub-threads.
  void RunGraph(const std::string& graph, const std::function<void(TaskContext*)>& edit = nullptr) {
    scoped_refptr<TaskContext> context(new TaskContext());
    ASSERT_TRUE(TaskXmlParser::ParseDocument(graph.data(), graph.size(), context.get()));
    if (edit) edit(context.get());
    ASSERT_TRUE(task::TaskDispatcher::GetInstance()->InitWithContext(context.get()));
    ASSERT_TRUE(threads_.RunUiLoop(20000)) << "the graph never reached its exit task";
    EXPECT_TRUE(WaitForLogLine(capture_, "run task name Exit end", 5000));
    threads_.StopSubThreads();
  }

  LogCapture capture_;
  SetupThreadsForTest threads_;
};

// ---------------------------------------------------------------------------
// Which objects start, in which order: the whole sequence of task lines.

struct GraphCase {
  const char* name;
  std::string graph;
  std::vector<std::pair<std::string, std::string>> values;
  std::vector<std::pair<std::string, std::wstring>> wide_values;
  Lines expected;
  Lines expected_checks;
};

std::vector<GraphCase> GraphCases() {
  std::vector<GraphCase> cases;
  cases.push_back({"JoinWaitsForEveryMemberThatListsIt",
                   Graph("<RuntimeObject name=\"S\"><Out object=\"A\"/></RuntimeObject>"
                         "<RuntimeObject name=\"A\"><Out object=\"X;B\"/></RuntimeObject>"
                         "<RuntimeObject name=\"B\"><Out object=\"X\"/></RuntimeObject>"
                         "<RuntimeObject name=\"X\"><In object=\"A;B\"/><Out object=\"Exit\"/>"
                         "</RuntimeObject>"),
                   {},
                   {},
                   Started({"S", "A", "B", "X", "Exit"}),
                   {}});
  cases.push_back({"MemberThatDoesNotListTheJoinNeverCounts",
                   Graph("<RuntimeObject name=\"S\"><Out object=\"A\"/></RuntimeObject>"
                         "<RuntimeObject name=\"A\"><Out object=\"B\"/></RuntimeObject>"
                         "<RuntimeObject name=\"B\"><Out object=\"X;Exit\"/></RuntimeObject>"
                         "<RuntimeObject name=\"X\"><In object=\"A\"/></RuntimeObject>"),
                   {},
                   {},
                   Started({"S", "A", "B", "Exit"}),
                   {}});
  cases.push_back({"OnlyTheFirstConditionDecides",
                   Graph("<RuntimeObject name=\"S\"><Out object=\"Z;Y\"/></RuntimeObject>"
                         "<RuntimeObject name=\"Z\">"
                         "<In condition=\"EngineTest.Unset=v;EngineTest.First=v\"/></RuntimeObject>"
                         "<RuntimeObject name=\"Y\">"
                         "<In condition=\"EngineTest.First=v;EngineTest.Unset=v\"/>"
                         "<Out object=\"Exit\"/></RuntimeObject>"),
                   {{"EngineTest.First", "v"}},
                   {},
                   Started({"S", "Y", "Exit"}),
                   {}});
  // H's condition reads "v" just before N's is tested: an absent key must
  // read as empty, not as whatever the previous read left.
  cases.push_back({"AbsentKeyNeverHolds",
                   Graph("<RuntimeObject name=\"S\"><Out object=\"H;N\"/></RuntimeObject>"
                         "<RuntimeObject name=\"H\"><In condition=\"EngineTest.Held=v\"/>"
                         "<Out object=\"Exit\"/></RuntimeObject>"
                         "<RuntimeObject name=\"N\"><In condition=\"EngineTest.Unset=v\"/>"
                         "</RuntimeObject>"),
                   {{"EngineTest.Held", "v"}},
                   {},
                   Started({"S", "H", "Exit"}),
                   {}});
  cases.push_back({"LetterCaseCounts",
                   Graph("<RuntimeObject name=\"S\"><Out object=\"X;Exit\"/></RuntimeObject>"
                         "<RuntimeObject name=\"X\"><In condition=\"EngineTest.Case=true\"/>"
                         "</RuntimeObject>"),
                   {{"EngineTest.Case", "True"}},
                   {},
                   Started({"S", "Exit"}),
                   {}});
  cases.push_back({"TrailingBlankCounts",
                   Graph("<RuntimeObject name=\"S\"><Out object=\"X;Exit\"/></RuntimeObject>"
                         "<RuntimeObject name=\"X\"><In condition=\"EngineTest.Blank=true\"/>"
                         "</RuntimeObject>"),
                   {{"EngineTest.Blank", "true "}},
                   {},
                   Started({"S", "Exit"}),
                   {}});
  // "über" stored wide; the condition holds its UTF-8 bytes.
  cases.push_back({"WideValueComparesAsUtf8",
                   Graph("<RuntimeObject name=\"S\"><Out object=\"X\"/></RuntimeObject>"
                         "<RuntimeObject name=\"X\"><In condition=\"EngineTest.Wide=\xc3\xbc"
                         "ber\"/><Out object=\"Exit\"/></RuntimeObject>"),
                   {},
                   {{"EngineTest.Wide",
                     L"\x00fc"
                     L"ber"}},
                   Started({"S", "X", "Exit"}),
                   {}});
  // X is skipped after S; A then stores the value and X runs after A.
  cases.push_back(
      {"SkippedObjectIsTestedAgainByTheNextPredecessor",
       Graph("<RuntimeObject name=\"S\"><Out object=\"X;A\"/></RuntimeObject>"
             "<RuntimeObject name=\"X\"><In condition=\"EngineTest.Later=yes\"/>"
             "<Out object=\"Exit\"/></RuntimeObject>",
             "<Task name=\"W\" class=\"TestSetValue\"><RuntimeObject name=\"A\">"
             "<In param=\"EngineTest.Later=yes\"/><Out object=\"X\"/></RuntimeObject></Task>"),
       {{"EngineTest.Later", "no"}},
       {},
       Started({"S", "A", "X", "Exit"}),
       {}});
  cases.push_back({"UnregisteredClassEndsItsBranch",
                   Graph("<RuntimeObject name=\"S\"><Out object=\"U;Exit\"/></RuntimeObject>"
                         "<RuntimeObject name=\"V\"/>",
                         "<Task name=\"U\" class=\"NoSuchTaskClass\"><RuntimeObject name=\"U\">"
                         "<Out object=\"V\"/></RuntimeObject></Task>"),
                   {},
                   {},
                   Started({"S", "Exit"}),
                   {"Check failed: task_ != NULL. "}});
  cases.push_back({"StartObjectIgnoresItsConditionAndInSet",
                   Graph("<RuntimeObject name=\"S\">"
                         "<In object=\"Q\" condition=\"EngineTest.Unset=v\"/>"
                         "<Out object=\"Exit\"/></RuntimeObject>"
                         "<RuntimeObject name=\"Q\"/>"),
                   {},
                   {},
                   Started({"S", "Exit"}),
                   {}});
  // Starting S again from its own end step would replace the task that is
  // ending; it is refused.
  cases.push_back({"ObjectThatListsItselfIsNotStartedAgain",
                   Graph("<RuntimeObject name=\"S\"><Out object=\"S;Exit\"/></RuntimeObject>"),
                   {},
                   {},
                   {"run task name S start", "run task name S end",
                    "run task name S not started: its previous task has not ended",
                    "run task name Exit start", "run task name Exit end"},
                   {}});
  return cases;
}

void PrintTo(const GraphCase& c, std::ostream* os) { *os << c.name; }

class GraphCaseTest : public TaskEngineTest, public ::testing::WithParamInterface<GraphCase> {};

TEST_P(GraphCaseTest, StartsExactlyTheReadyObjectsInOrder) {
  const GraphCase& c = GetParam();
  for (const auto& value : c.values)
    SetupContext::GetInstance()->SetString(value.first, value.second);
  for (const auto& value : c.wide_values)
    SetupContext::GetInstance()->SetWString(value.first, value.second);

  RunGraph(c.graph);
  if (HasFatalFailure()) return;

  const Lines lines = capture_.Lines();
  EXPECT_EQ(c.expected, TaskLines(lines));
  EXPECT_EQ(c.expected_checks, CheckLines(lines));
}

INSTANTIATE_TEST_SUITE_P(Graphs, GraphCaseTest, ::testing::ValuesIn(GraphCases()),
                         [](const ::testing::TestParamInfo<GraphCase>& info) {
                           return std::string(info.param.name);
                         });

// ---------------------------------------------------------------------------
// Where tasks run.

const RunRecord* FindRecord(const std::vector<RunRecord>& records, const std::string& name) {
  for (const RunRecord& record : records) {
    if (record.name == name) return &record;
  }
  return nullptr;
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

TEST_F(TaskEngineTest, TaskRunsOnTheSetupThreadItsObjectNamesOrOnAThreadOfItsOwn) {
  const DWORD main_thread = GetCurrentThreadId();
  RunGraph(Graph("<RuntimeObject name=\"S\" thread=\"Dispatch\"><Out object=\"OnFile\"/>"
                 "</RuntimeObject>"
                 "<RuntimeObject name=\"OnFile\" thread=\"File\"><Out object=\"OnUi\"/>"
                 "</RuntimeObject>"
                 "<RuntimeObject name=\"OnUi\" thread=\"UI\"><Out object=\"Own\"/>"
                 "</RuntimeObject>"
                 "<RuntimeObject name=\"Own\"><Out object=\"Negative\"/></RuntimeObject>"
                 "<RuntimeObject name=\"Negative\"><Out object=\"AfterOwn\"/></RuntimeObject>"
                 "<RuntimeObject name=\"AfterOwn\" thread=\"File\"><Out object=\"Exit\"/>"
                 "</RuntimeObject>"),
           [](TaskContext* context) {
             // Every value outside the setup threads' range means a thread
             // of its own, negative ones too.
             context->FindRuntimeObject("Negative")->set_thread(-1);
           });
  if (HasFatalFailure()) return;

  const std::vector<RunRecord> records = g_recorder.records();
  ASSERT_EQ(6u, records.size());
  const RunRecord* s = FindRecord(records, "S");
  const RunRecord* on_file = FindRecord(records, "OnFile");
  const RunRecord* on_ui = FindRecord(records, "OnUi");
  const RunRecord* own = FindRecord(records, "Own");
  const RunRecord* negative = FindRecord(records, "Negative");
  const RunRecord* after_own = FindRecord(records, "AfterOwn");
  ASSERT_TRUE(s && on_file && on_ui && own && negative && after_own);

  EXPECT_TRUE(s->on_setup_thread);
  EXPECT_EQ(setup::SetupThread::DISPATCH, s->setup_thread_id);
  EXPECT_TRUE(on_file->on_setup_thread);
  EXPECT_EQ(setup::SetupThread::FILE, on_file->setup_thread_id);
  EXPECT_EQ("Setup_FileThread", on_file->loop_thread_name);
  EXPECT_EQ(on_file->os_thread_id, after_own->os_thread_id);
  EXPECT_TRUE(on_ui->on_setup_thread);
  EXPECT_EQ(setup::SetupThread::UI, on_ui->setup_thread_id);
  EXPECT_EQ(main_thread, on_ui->os_thread_id);

  for (const RunRecord* mine : {own, negative}) {
    SCOPED_TRACE(mine->name);
    EXPECT_FALSE(mine->on_setup_thread);
    EXPECT_EQ("Thread_" + mine->name, mine->loop_thread_name);
    for (const RunRecord* setup_record : {s, on_file, on_ui})
      EXPECT_NE(setup_record->os_thread_id, mine->os_thread_id);
  }
  EXPECT_NE(own->os_thread_id, negative->os_thread_id);
  // A task's own thread is stopped and joined before its successor starts.
  EXPECT_TRUE(Contains(negative->ended_before, "Own"));
  EXPECT_TRUE(Contains(after_own->ended_before, "Own"));
  EXPECT_TRUE(Contains(after_own->ended_before, "Negative"));

  EXPECT_EQ(Lines(), CheckLines(capture_.Lines()));
}

// ---------------------------------------------------------------------------
// Order of what happens around one task's end.

TEST_F(TaskEngineTest, SuccessorsStartInListOrderBeforeTheFinishedTaskIsDeleted) {
  // A and B run at the same time on threads of their own; J joins them.
  RunGraph(
      Graph("<RuntimeObject name=\"S\"><Out object=\"A;B\"/></RuntimeObject>"
            "<RuntimeObject name=\"A\"><Out object=\"J\"/></RuntimeObject>"
            "<RuntimeObject name=\"B\"><Out object=\"J\"/></RuntimeObject>"
            "<RuntimeObject name=\"J\"><In object=\"A;B\"/><Out object=\"Exit\"/>"
            "</RuntimeObject>"));
  if (HasFatalFailure()) return;

  const Lines lines = capture_.Lines();
  auto at = [&lines](const std::string& line) {
    size_t index = IndexOf(lines, line);
    EXPECT_LT(index, lines.size()) << "missing: " << line;
    return index;
  };
  // Start line, then the work, then the end line, for every task.
  for (const char* name : {"S", "A", "B", "J"}) {
    SCOPED_TRACE(name);
    const std::string n = name;
    EXPECT_LT(at("run task name " + n + " start"), at("test task work " + n));
    EXPECT_LT(at("test task work " + n), at("run task name " + n + " end"));
    EXPECT_LT(at("run task name " + n + " end"), at("test task deleted " + n));
  }
  // A and then B, B without waiting for A's end; both before S is deleted.
  EXPECT_LT(at("run task name S end"), at("run task name A start"));
  EXPECT_LT(at("run task name A start"), at("run task name B start"));
  EXPECT_LT(at("run task name B start"), at("run task name A end"));
  EXPECT_LT(at("run task name B start"), at("test task deleted S"));
  // The join starts once, after both have ended.
  EXPECT_LT(at("run task name A end"), at("run task name J start"));
  EXPECT_LT(at("run task name B end"), at("run task name J start"));
  EXPECT_EQ(1, std::count(lines.begin(), lines.end(), "run task name J start"));
  EXPECT_LT(at("test task deleted J"), at("run task name Exit end"));
  EXPECT_EQ(Lines(), CheckLines(lines));
}

}  // namespace
