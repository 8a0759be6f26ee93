#include "TarnelSetup/task_xml_parser.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TarnelSetup/runtime_object.h"
#include "TarnelSetup/task_context.h"
#include "TarnelSetup/task_proto.h"
#include "base/logging.h"
#include "base/ref_counted.h"
#include "gtest/gtest.h"
#include "tests/support/log_capture.h"

using task_object::RuntimeObject;
using task_object::TaskContext;
using task_object::TaskProto;

namespace {

typedef std::vector<std::string> Lines;

// "资源获取失败" (resource retrieval failed), code page 936.
const char kResourceFailed[] = "\xd7\xca\xd4\xb4\xbb\xf1\xc8\xa1\xca\xa7\xb0\xdc";

std::string JoinNames(const RuntimeObject::OutObjectList& objects) {
  std::string out;
  for (const auto& object : objects) out += (out.empty() ? "" : ",") + object->name();
  return out;
}

std::string JoinQuoted(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& item : items) out += (out.empty() ? "'" : ",'") + item + "'";
  return out;
}

// One line per object: name, thread, definedness, prototype, then the lists
// that are not empty. In-set names are sorted (the set is ordered by
// identity); the other lists keep their order. Conditions and parameters are
// quoted so that blanks and empty pieces show.
std::string Describe(const RuntimeObject* object) {
  std::string out = object->name() + " t=" + std::to_string(object->thread());
  if (!object->defined()) out += " undefined";
  if (object->task_proto())
    out += " proto=" + object->task_proto()->name() + ":" + object->task_proto()->class_name();
  if (!object->in_objects().empty()) {
    std::vector<std::string> names;
    for (const auto& entry : object->in_objects()) {
      names.push_back(entry.first->name() + (entry.second ? "(finished)" : ""));
    }
    std::sort(names.begin(), names.end());
    std::string joined;
    for (const std::string& name : names) joined += (joined.empty() ? "" : ",") + name;
    out += " in=[" + joined + "]";
  }
  if (!object->conditions().empty()) {
    std::string joined;
    for (const auto& condition : object->conditions()) {
      joined += (joined.empty() ? "'" : ",'") + condition.first + "'='" + condition.second + "'";
    }
    out += " cond=[" + joined + "]";
  }
  if (!object->in_params().empty()) out += " inp=[" + JoinQuoted(object->in_params()) + "]";
  if (!object->out_objects().empty()) out += " out=[" + JoinNames(object->out_objects()) + "]";
  if (!object->out_params().empty()) out += " outp=[" + JoinQuoted(object->out_params()) + "]";
  return out;
}

// The whole context: start object, prototype table, objects; tables sorted
// by name.
Lines DescribeGraph(const TaskContext* context) {
  Lines lines;
  lines.push_back("start=" + (context->start_runtime_object()
                                  ? context->start_runtime_object()->name()
                                  : std::string("none")));
  Lines protos;
  for (const auto& entry : context->task_protos()) {
    protos.push_back("proto " + entry.second->name() + ":" + entry.second->class_name());
  }
  std::sort(protos.begin(), protos.end());
  lines.insert(lines.end(), protos.begin(), protos.end());
  Lines objects;
  for (const auto& entry : context->runtime_objects())
    objects.push_back(Describe(entry.second.get()));
  std::sort(objects.begin(), objects.end());
  lines.insert(lines.end(), objects.begin(), objects.end());
  return lines;
}

struct DocumentCase {
  const char* name;
  std::string document;
  bool result;
  // DescribeGraph after parsing; empty: not compared.
  Lines graph;
  // The whole log, from LogCapture::LinesWithSource, with checks off (as the
  // program runs) and with checks on.
  Lines log;
  Lines log_with_checks;
};

// Failures name the case instead of dumping its bytes.
void PrintTo(const DocumentCase& c, std::ostream* os) { *os << c.name; }

std::string Check(const char* file, const char* condition) {
  return std::string("[ERROR_REPORT:") + file + "] Check failed: " + condition + ". ";
}
const std::string kUndefinedChecks[] = {Check("task_context.cc", "false"),
                                        Check("task_xml_parser.cc", "all_defined")};
std::string ErrorId(int code) {
  return "[ERROR:task_xml_parser.cc] ErrorID = " + std::to_string(code);
}

const DocumentCase kDocumentCases[] = {
    {"Minimal",
     "<?xml version=\"1.0\"?>\n<Tasks name=\"SetupTask\" start=\"A\">\n"
     "  <Task name=\"T\" class=\"C\">\n    <RuntimeObject name=\"A\"/>\n  </Task>\n</Tasks>\n",
     true,
     {"start=A", "proto T:C", "A t=3 proto=T:C"},
     {},
     {}},
    {"ThreadNames",
     R"(<Tasks start="U"><Task name="T" class="C">
          <RuntimeObject name="U" thread="UI"/>
          <RuntimeObject name="F" thread="File"/>
          <RuntimeObject name="D" thread="Dispatch"/>
          <RuntimeObject name="O"/>
        </Task></Tasks>)",
     true,
     {"start=U", "proto T:C", "D t=2 proto=T:C", "F t=1 proto=T:C", "O t=3 proto=T:C",
      "U t=0 proto=T:C"},
     {},
     {}},
    // Not in the table: the object runs on a thread of its own.
    {"UnknownThreadNames",
     R"(<Tasks start="A"><Task name="T" class="C">
          <RuntimeObject name="A" thread="ui"/>
          <RuntimeObject name="B" thread="UI "/>
          <RuntimeObject name="E" thread=""/>
        </Task></Tasks>)",
     true,
     {"start=A", "proto T:C", "A t=3 proto=T:C", "B t=3 proto=T:C", "E t=3 proto=T:C"},
     {},
     {Check("task_xml_parser.cc", "false"), Check("task_xml_parser.cc", "false"),
      Check("task_xml_parser.cc", "false")}},
    {"InWithOnlyThreadAttribute",
     R"(<Tasks start="A"><Task name="T" class="C">
          <RuntimeObject name="A"><In thread="File"/><Out object="A"/></RuntimeObject>
        </Task></Tasks>)",
     true,
     {"start=A", "proto T:C", "A t=3 proto=T:C out=[A]"},
     {},
     {}},
    // Pieces are trimmed; key and value keep the blanks around '='.
    {"Conditions",
     "<Tasks start=\"A\"><Task name=\"T\" class=\"C\"><RuntimeObject name=\"A\">"
     "<In condition=\" CheckResult=ResultOK ;NeedUnistall=true;;noequals;ends=; k = v ;"
     "a=b=c;=v;x=&amp;y\t\"/>"
     "</RuntimeObject></Task></Tasks>",
     true,
     {"start=A", "proto T:C",
      "A t=3 proto=T:C cond=['CheckResult'='ResultOK','NeedUnistall'='true','k '=' v',"
      "'a'='b=c',''='v','x'='&y']"},
     {},
     {}},
    {"EmptyConditionList",
     R"(<Tasks start="A"><Task name="T" class="C">
          <RuntimeObject name="A"><In condition="" object="" param=""/></RuntimeObject>
        </Task></Tasks>)",
     true,
     {"start=A", "proto T:C", "A t=3 proto=T:C"},
     {},
     {}},
    {"ObjectListsDuplicatesAndEmptyPieces",
     R"(<Tasks start="A"><Task name="T" class="C">
          <RuntimeObject name="A"><In object="B; B ;;C;"/><Out object=";C;B;C; "/></RuntimeObject>
          <RuntimeObject name="B"/><RuntimeObject name="C"/>
        </Task></Tasks>)",
     true,
     {"start=A", "proto T:C", "A t=3 proto=T:C in=[B,C] out=[C,B,C]", "B t=3 proto=T:C",
      "C t=3 proto=T:C"},
     {},
     {}},
    // Every param piece is kept, empty ones too.
    {"Params",
     R"(<Tasks start="A"><Task name="T" class="C">
          <RuntimeObject name="A"><In param=" a ; ;b "/><Out param="x;"/></RuntimeObject>
          <RuntimeObject name="B"><In param=" "/><Out param=";a&lt;b;"/></RuntimeObject>
        </Task></Tasks>)",
     true,
     {"start=A", "proto T:C", "A t=3 proto=T:C inp=['a','','b'] outp=['x','']",
      "B t=3 proto=T:C inp=[''] outp=['','a<b','']"},
     {},
     {}},
    // Elements before the first Task are not read; every element after it is
    // a Task, whatever its name.
    {"TaskWalk",
     R"(<Tasks start="A">
          <Other name="S" class="CS"><RuntimeObject name="S"/></Other>
          text is ignored
          <Task name="T" class="C"><RuntimeObject name="A"/></Task>
          <!-- a comment -->
          <Job name="J" class="CJ"><RuntimeObject name="B"/></Job>
        </Tasks>)",
     true,
     {"start=A", "proto J:CJ", "proto T:C", "A t=3 proto=T:C", "B t=3 proto=J:CJ"},
     {},
     {}},
    {"RuntimeObjectWalk",
     R"(<Tasks start="A"><Task name="T" class="C">
          <Before name="S"/>
          <RuntimeObject name="A"/>
          <Node name="B" thread="File"/>
        </Task></Tasks>)",
     true,
     {"start=A", "proto T:C", "A t=3 proto=T:C", "B t=1 proto=T:C"},
     {},
     {}},
    // A second In or Out would name the undefined C.
    {"RepeatedInAndOut",
     R"(<Tasks start="A"><Task name="T" class="C">
          <RuntimeObject name="A">
            <In condition="k=v" object="B"/><In condition="k2=v2" object="C"/>
            <Out object="B"/><Out object="C"/>
          </RuntimeObject>
          <RuntimeObject name="B"/>
        </Task></Tasks>)",
     true,
     {"start=A", "proto T:C", "A t=3 proto=T:C in=[B] cond=['k'='v'] out=[B]", "B t=3 proto=T:C"},
     {},
     {}},
    {"ForwardReferences",
     R"(<Tasks start="C"><Task name="T" class="C">
          <RuntimeObject name="A"><Out object="B;C"/></RuntimeObject>
          <RuntimeObject name="B"><In object="A"/><Out object="C"/></RuntimeObject>
          <RuntimeObject name="C" thread="UI"><In object="A;B"/></RuntimeObject>
        </Task></Tasks>)",
     true,
     {"start=C", "proto T:C", "A t=3 proto=T:C out=[B,C]", "B t=3 proto=T:C in=[A] out=[C]",
      "C t=0 proto=T:C in=[A,B]"},
     {},
     {}},
    {"NameOnlyInOut",
     R"(<Tasks start="A"><Task name="T" class="C">
          <RuntimeObject name="A" thread="UI"><Out object="Ghost"/></RuntimeObject>
        </Task></Tasks>)",
     false,
     {"start=A", "proto T:C", "A t=0 proto=T:C out=[Ghost]", "Ghost t=3 undefined"},
     {},
     {kUndefinedChecks[0], kUndefinedChecks[1]}},
    {"NameOnlyInIn",
     R"(<Tasks start="A"><Task name="T" class="C">
          <RuntimeObject name="A"><In object="Ghost"/></RuntimeObject>
        </Task></Tasks>)",
     false,
     {"start=A", "proto T:C", "A t=3 proto=T:C in=[Ghost]", "Ghost t=3 undefined"},
     {},
     {kUndefinedChecks[0], kUndefinedChecks[1]}},
    {"UndefinedStart",
     R"(<Tasks start="Nobody"><Task name="T" class="C"><RuntimeObject name="A"/></Task></Tasks>)",
     false,
     {"start=Nobody", "proto T:C", "A t=3 proto=T:C", "Nobody t=3 undefined"},
     {},
     {kUndefinedChecks[0], kUndefinedChecks[1]}},
    {"NoTaskElements",
     R"(<Tasks start="A"/>)",
     false,
     {"start=A", "A t=3 undefined"},
     {},
     {kUndefinedChecks[0], kUndefinedChecks[1]}},
    // A repeated Task name keeps the first prototype in the table; the
    // second element's objects use their own.
    {"RepeatedTaskName",
     R"(<Tasks start="A">
          <Task name="T" class="C1"><RuntimeObject name="A"/></Task>
          <Task name="T" class="C2"><RuntimeObject name="B"/></Task>
        </Tasks>)",
     true,
     {"start=A", "proto T:C1", "A t=3 proto=T:C1", "B t=3 proto=T:C2"},
     {},
     {Check("task_xml_parser.cc", "!task_proto_ptr")}},
    // A second definition replaces thread and prototype and adds to the
    // lists.
    {"RedefinedRuntimeObject",
     R"(<Tasks start="A">
          <Task name="T1" class="C1">
            <RuntimeObject name="A" thread="UI">
              <In object="B" condition="k=v" param="p"/><Out object="B" param="q"/>
            </RuntimeObject>
          </Task>
          <Task name="T2" class="C2">
            <RuntimeObject name="A" thread="File">
              <In object="B;C" condition="k2=v2" param="p2"/><Out object="C;B" param="q2"/>
            </RuntimeObject>
            <RuntimeObject name="B"/><RuntimeObject name="C"/>
            <RuntimeObject name="B"/>
          </Task>
        </Tasks>)",
     true,
     {"start=A", "proto T1:C1", "proto T2:C2",
      "A t=1 proto=T2:C2 in=[B,C] cond=['k'='v','k2'='v2'] inp=['p','p2'] out=[B,C,B] "
      "outp=['q','q2']",
      "B t=3 proto=T2:C2", "C t=3 proto=T2:C2"},
     {},
     {Check("task_xml_parser.cc", "!runtime_object_ptr->defined()"),
      Check("task_xml_parser.cc", "!runtime_object_ptr->defined()")}},
    // Missing required parts: the load stops and fails.
    {"NoTasksElement",
     R"(<Root><Tasks start="A"><Task name="T" class="C"><RuntimeObject name="A"/></Task></Tasks></Root>)",
     false,
     {"start=none"},
     {},
     {Check("task_xml_parser.cc", "root")}},
    {"NoStartAttribute",
     R"(<Tasks name="SetupTask"><Task name="T" class="C"><RuntimeObject name="A"/></Task></Tasks>)",
     false,
     {"start=none"},
     {},
     {Check("task_xml_parser.cc", "start_runtime_object_name")}},
    {"TaskWithoutName",
     R"(<Tasks start="A"><Task class="C"><RuntimeObject name="A"/></Task></Tasks>)",
     false,
     {"start=A", "A t=3 undefined"},
     {},
     {Check("task_xml_parser.cc", "task_proto_name")}},
    {"TaskWithoutClass",
     R"(<Tasks start="A"><Task name="T"><RuntimeObject name="A"/></Task></Tasks>)",
     false,
     {"start=A", "A t=3 undefined"},
     {},
     {Check("task_xml_parser.cc", "class_name")}},
    {"RuntimeObjectWithoutName",
     R"(<Tasks start="A"><Task name="T" class="C"><RuntimeObject name="A"/><RuntimeObject thread="UI"/></Task></Tasks>)",
     false,
     {"start=A", "proto T:C", "A t=3 proto=T:C"},
     {},
     {Check("task_xml_parser.cc", "runtime_object_name")}},
    // White space and a byte-order mark before the document are skipped.
    {"ByteOrderMark",
     "\xEF\xBB\xBF<?xml version=\"1.0\"?><Tasks start=\"A\"><Task name=\"T\" class=\"C\">"
     "<RuntimeObject name=\"A\"/></Task></Tasks>",
     true,
     {"start=A", "proto T:C", "A t=3 proto=T:C"},
     {},
     {}},
    {"WhiteSpaceThenByteOrderMark",
     " \r\n\t\xEF\xBB\xBF<?xml version=\"1.0\"?><Tasks start=\"A\"><Task name=\"T\" class=\"C\">"
     "<RuntimeObject name=\"A\"/></Task></Tasks>",
     true,
     {"start=A", "proto T:C", "A t=3 proto=T:C"},
     {},
     {}},
    // Documents that do not parse: the error code is logged.
    {"Empty", "", false, {"start=none"}, {ErrorId(15)}, {ErrorId(15)}},
    {"WhiteSpaceOnly", " \r\n\t ", false, {"start=none"}, {ErrorId(15)}, {ErrorId(15)}},
    {"ByteOrderMarkOnly", "\n\xEF\xBB\xBF", false, {"start=none"}, {ErrorId(15)}, {ErrorId(15)}},
    {"LeadingZeroByte",
     std::string("\0<Tasks start=\"A\"/>", 19),
     false,
     {"start=none"},
     {ErrorId(15)},
     {ErrorId(15)}},
    {"MismatchedElement",
     R"(<Tasks start="A"><Task name="T" class="C"></Tsak></Tasks>)",
     false,
     {"start=none"},
     {ErrorId(16)},
     {ErrorId(16)}},
    {"UnclosedElement",
     R"(<Tasks start="A"><Task name="T" class="C">)",
     false,
     {"start=none"},
     {ErrorId(16)},
     {ErrorId(16)}},
    {"UnquotedAttribute",
     R"(<Tasks start=A></Tasks>)",
     false,
     {"start=none"},
     {ErrorId(8)},
     {ErrorId(8)}},
};

class TaskXmlParserDocumentTest : public testing::TestWithParam<DocumentCase> {
 protected:
  void TearDown() override { logging::SetDebugChecksEnabled(false); }

  // Parses the case's document into a new context and checks result, graph
  // and log.
  void ParseAndCheck(bool checks_enabled) {
    const DocumentCase& c = GetParam();
    LogCapture log;
    ASSERT_TRUE(log.ok());
    logging::SetDebugChecksEnabled(checks_enabled);
    scoped_refptr<TaskContext> context(new TaskContext);
    EXPECT_EQ(c.result,
              TaskXmlParser::ParseDocument(c.document.data(), c.document.size(), context.get()));
    logging::SetDebugChecksEnabled(false);
    if (!c.graph.empty()) {
      EXPECT_EQ(c.graph, DescribeGraph(context.get()));
    }
    EXPECT_EQ(checks_enabled ? c.log_with_checks : c.log, log.LinesWithSource());
  }
};

TEST_P(TaskXmlParserDocumentTest, ChecksOff) { ParseAndCheck(false); }

// Checks only add their reports; the result and the graph stay the same.
TEST_P(TaskXmlParserDocumentTest, ChecksOn) { ParseAndCheck(true); }

INSTANTIATE_TEST_SUITE_P(Documents, TaskXmlParserDocumentTest, testing::ValuesIn(kDocumentCases),
                         [](const testing::TestParamInfo<DocumentCase>& info) {
                           return std::string(info.param.name);
                         });

// Loading from module resources.

// A module loaded for its resources only.
class ScopedDataModule {
 public:
  explicit ScopedDataModule(const std::wstring& path)
      : module_(LoadLibraryExW(path.c_str(), nullptr,
                               LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)),
        error_(module_ ? 0 : GetLastError()) {}
  ~ScopedDataModule() {
    if (module_) FreeLibrary(module_);
  }
  HMODULE get() const { return module_; }
  DWORD error() const { return error_; }

 private:
  HMODULE module_;
  DWORD error_;
  ScopedDataModule(const ScopedDataModule&) = delete;
  ScopedDataModule& operator=(const ScopedDataModule&) = delete;
};

// Folder of this test program (<build>\tests\), with a trailing backslash.
std::wstring TestProgramDir() {
  wchar_t path[MAX_PATH];
  DWORD len = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, len);
  return dir.substr(0, dir.find_last_of(L'\\') + 1);
}

// The test helper that carries the product's graph and an empty document
// (target task_graph_resources).
std::wstring GraphResourcesPath() { return TestProgramDir() + L"tools\\task_graph_resources.exe"; }
// The product itself (target kivo_uninstall).
std::wstring ProductPath() { return TestProgramDir() + L"..\\Uninstall\\kivo_uninstall.exe"; }

bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool ParseResource(HMODULE module, uint16_t id, const std::wstring& type, TaskContext* context) {
  TaskXmlParser parser;
  parser.set_module(module);
  parser.set_resource_id(id);
  parser.set_resource_type(type);
  return parser.Parse(context);
}

struct ModuleCase {
  const char* name;
  std::wstring (*path)();
  const char* target;
};

class EmbeddedGraphTest : public testing::TestWithParam<ModuleCase> {};

TEST_P(EmbeddedGraphTest, LoadsTheUninstallGraph) {
  const std::wstring path = GetParam().path();
  ASSERT_TRUE(FileExists(path)) << "missing " << GetParam().target
                                << " executable; build that target before running this test";
  ScopedDataModule module(path);
  ASSERT_TRUE(module.get()) << "LoadLibraryExW failed with " << module.error();

  LogCapture log;
  ASSERT_TRUE(log.ok());
  scoped_refptr<TaskContext> context(new TaskContext);
  ASSERT_TRUE(ParseResource(module.get(), 4000, L"XML", context.get()));
  EXPECT_TRUE(log.Lines().empty());

  EXPECT_EQ(11u, context->task_protos().size());
  EXPECT_EQ(13u, context->runtime_objects().size());
  ASSERT_TRUE(context->start_runtime_object());
  EXPECT_EQ("StartUninstall", context->start_runtime_object()->name());
  EXPECT_EQ(0, context->start_runtime_object()->thread());
  EXPECT_EQ(context->FindRuntimeObject("StartUninstall"), context->start_runtime_object());
  for (const auto& entry : context->task_protos()) {
    EXPECT_EQ(entry.second->name(), entry.second->class_name());
  }

  const char* const kExpected[] = {
      "StartUninstall t=0 proto=StartUninstall:StartUninstall "
      "out=[CheckKivoRunning,ExitUninstall_ResultCancel]",
      "CheckKivoRunning t=0 proto=CheckKivoRunning:CheckKivoRunning "
      "cond=['CheckResult'='ResultOK'] out=[GetUninstallEnvironment,ExitUninstall_ResultCancel]",
      "GetUninstallEnvironment t=3 proto=GetUninstallEnvironment:GetUninstallEnvironment "
      "cond=['CheckResult'='ResultOK'] out=[KillNorvaneProcess,CompleteUninstall_NotNeedInstall]",
      "KillNorvaneProcess t=3 proto=KillNorvaneProcess:KillNorvaneProcess "
      "cond=['NeedUnistall'='true'] out=[RemotingMachineUninstall]",
      "RemotingMachineUninstall t=1 proto=RemotingMachineUninstall:RemotingMachineUninstall "
      "cond=['NeedUnistall'='true'] out=[TaskbarUnpinShortLink]",
      "TaskbarUnpinShortLink t=1 proto=TaskbarUnpinShortLink:TaskbarUnpinShortLink "
      "cond=['RemotingMachineUninstallResult'='ResultSuccess'] out=[DeleteFiles]",
      "DeleteFiles t=1 proto=DeleteFiles:DeleteFiles out=[ClearInstallDir]",
      "ClearInstallDir t=3 proto=ClearInstallDir:ClearInstallDir out=[ClearUninstallTempDir]",
      "ClearUninstallTempDir t=3 proto=ClearUninstallTempDir:ClearUninstallTempDir "
      "out=[CompleteUninstall]",
      "CompleteUninstall t=3 proto=CompleteUninstall:CompleteUninstall out=[ExitUninstall]",
      "CompleteUninstall_NotNeedInstall t=3 proto=CompleteUninstall:CompleteUninstall "
      "cond=['NeedUnistall'='false'] out=[ExitUninstall]",
      "ExitUninstall t=3 proto=TaskExit:TaskExit",
      "ExitUninstall_ResultCancel t=3 proto=TaskExit:TaskExit "
      "cond=['CheckResult'='ResultCancel']",
  };
  for (const char* expected : kExpected) {
    const std::string line(expected);
    const std::string name = line.substr(0, line.find(' '));
    SCOPED_TRACE(name);
    const RuntimeObject* object = context->FindRuntimeObject(name);
    ASSERT_TRUE(object);
    EXPECT_TRUE(object->defined());
    EXPECT_EQ(expected, Describe(object));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Modules, EmbeddedGraphTest,
    testing::Values(ModuleCase{"TestResources", GraphResourcesPath, "task_graph_resources"},
                    ModuleCase{"Product", ProductPath, "kivo_uninstall"}),
    [](const testing::TestParamInfo<ModuleCase>& info) { return std::string(info.param.name); });

TEST(TaskXmlParserResourceTest, MissingResource) {
  ScopedDataModule resources(GraphResourcesPath());
  ASSERT_TRUE(resources.get()) << "build target task_graph_resources; LoadLibraryExW failed with "
                               << resources.error();
  struct Case {
    const char* label;
    HMODULE module;
    uint16_t id;
    std::wstring type;
    std::string line;
  };
  const std::string prefix = "[ERROR:task_xml_parser.cc] ";
  const Case kCases[] = {
      // This test program has no graph at all.
      {"no graph in the module", nullptr, 4000, L"XML", prefix + "4000: " + kResourceFailed},
      {"other id", resources.get(), 4001, L"XML", prefix + "4001: " + kResourceFailed},
      {"other type", resources.get(), 4000, L"TXT", prefix + "4000: " + kResourceFailed},
      {"largest id", resources.get(), 65535, L"XML", prefix + "65535: " + kResourceFailed},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.label);
    LogCapture log;
    ASSERT_TRUE(log.ok());
    scoped_refptr<TaskContext> context(new TaskContext);
    EXPECT_FALSE(ParseResource(c.module, c.id, c.type, context.get()));
    EXPECT_EQ(Lines{c.line}, log.LinesWithSource());
    EXPECT_TRUE(context->runtime_objects().empty());
    EXPECT_FALSE(context->start_runtime_object());
  }
}

TEST(TaskXmlParserResourceTest, EmptyResource) {
  ScopedDataModule resources(GraphResourcesPath());
  ASSERT_TRUE(resources.get()) << "build target task_graph_resources; LoadLibraryExW failed with "
                               << resources.error();
  LogCapture log;
  ASSERT_TRUE(log.ok());
  scoped_refptr<TaskContext> context(new TaskContext);
  EXPECT_FALSE(ParseResource(resources.get(), 4002, L"XML", context.get()));
  EXPECT_EQ(Lines{ErrorId(15)}, log.LinesWithSource());
}

}  // namespace
