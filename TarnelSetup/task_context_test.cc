#include "TarnelSetup/task_context.h"

#include <string>
#include <vector>

#include "TarnelSetup/runtime_object.h"
#include "TarnelSetup/task_base.h"
#include "TarnelSetup/task_proto.h"
#include "TarnelSetup/task_xml_parser.h"
#include "base/logging.h"
#include "base/ref_counted.h"
#include "gtest/gtest.h"
#include "tests/support/log_capture.h"

namespace task_object {
namespace {

// Two names with the same 32-bit FNV-1a hash.
const char kCollidingName1[] = "Obj179599";
const char kCollidingName2[] = "Obj362382";

// A runtime object that counts its destruction.
class CountedRuntimeObject : public RuntimeObject {
 public:
  CountedRuntimeObject(const std::string& name, int* destroyed)
      : RuntimeObject(name), destroyed_(destroyed) {}

 private:
  ~CountedRuntimeObject() override { ++*destroyed_; }
  int* destroyed_;
};

// A task instance that counts its destruction.
class CountedTask : public task::TaskBase {
 public:
  explicit CountedTask(int* destroyed) : destroyed_(destroyed) {}
  ~CountedTask() override { ++*destroyed_; }
  // Work is never run here; this only keeps the class concrete.
  void Run(RuntimeObject*) {}

 private:
  int* destroyed_;
};

scoped_refptr<RuntimeObject> NewObject(const std::string& name, bool defined) {
  scoped_refptr<RuntimeObject> object(new RuntimeObject(name));
  object->set_defined(defined);
  return object;
}

TEST(TaskContextTest, AllDefined) {
  LogCapture log;
  ASSERT_TRUE(log.ok());
  logging::SetDebugChecksEnabled(true);

  scoped_refptr<TaskContext> context(new TaskContext);
  EXPECT_TRUE(context->AllDefined()) << "an empty table";

  context->AddRuntimeObject(NewObject("A", true).get());
  context->AddRuntimeObject(NewObject("B", true).get());
  EXPECT_TRUE(context->AllDefined());
  EXPECT_TRUE(log.Lines().empty());

  context->AddRuntimeObject(NewObject("C", false).get());
  context->AddRuntimeObject(NewObject("D", true).get());
  EXPECT_FALSE(context->AllDefined());
  // One report, for the first undefined object only.
  EXPECT_EQ(std::vector<std::string>{"[ERROR_REPORT:task_context.cc] Check failed: false. "},
            log.LinesWithSource());

  logging::SetDebugChecksEnabled(false);
  EXPECT_FALSE(context->AllDefined());
  EXPECT_EQ(1u, log.Lines().size()) << "checks off: nothing more is written";
}

TEST(TaskContextTest, SameHashKeepsFirstRegistration) {
  scoped_refptr<TaskContext> context(new TaskContext);
  scoped_refptr<RuntimeObject> first = NewObject(kCollidingName1, false);
  scoped_refptr<RuntimeObject> second = NewObject(kCollidingName2, true);
  scoped_refptr<RuntimeObject> same_name = NewObject(kCollidingName1, true);
  EXPECT_TRUE(context->AddRuntimeObject(first.get()));
  EXPECT_FALSE(context->AddRuntimeObject(second.get()));
  EXPECT_FALSE(context->AddRuntimeObject(same_name.get()));
  EXPECT_EQ(1u, context->runtime_objects().size());
  EXPECT_EQ(first.get(), context->FindRuntimeObject(kCollidingName1));
  EXPECT_EQ(first.get(), context->FindRuntimeObject(kCollidingName2));
  EXPECT_EQ(nullptr, context->FindRuntimeObject("Other"));
  EXPECT_TRUE(second->HasOneRef()) << "a rejected object is not kept";

  scoped_refptr<TaskProto> proto1(new TaskProto(kCollidingName1));
  scoped_refptr<TaskProto> proto2(new TaskProto(kCollidingName2));
  EXPECT_TRUE(context->AddTaskProto(proto1.get()));
  EXPECT_FALSE(context->AddTaskProto(proto2.get()));
  EXPECT_EQ(1u, context->task_protos().size());
  EXPECT_EQ(proto1.get(), context->FindTaskProto(kCollidingName2));
  EXPECT_EQ(nullptr, context->FindTaskProto("Other"));
}

TEST(TaskContextTest, RejectedRegistrationDoesNotFreeAnUnheldObject) {
  // A caller may hand over a fresh object that nobody holds yet.
  scoped_refptr<TaskContext> context(new TaskContext);
  context->AddRuntimeObject(NewObject("A", true).get());
  int destroyed = 0;
  RuntimeObject* fresh = new CountedRuntimeObject("A", &destroyed);
  EXPECT_FALSE(context->AddRuntimeObject(fresh));
  EXPECT_EQ(0, destroyed);
  scoped_refptr<RuntimeObject> owner(fresh);
  owner = nullptr;
  EXPECT_EQ(1, destroyed);
}

TEST(TaskContextTest, TeardownFreesCyclicGraph) {
  int objects_destroyed = 0;
  int tasks_destroyed = 0;
  scoped_refptr<TaskProto> proto(new TaskProto("T"));
  {
    scoped_refptr<TaskContext> context(new TaskContext);
    const char* const kNames[] = {"A", "B", "C", "D"};
    std::vector<RuntimeObject*> objects;
    for (const char* name : kNames) {
      scoped_refptr<RuntimeObject> object(new CountedRuntimeObject(name, &objects_destroyed));
      object->set_task_proto(proto.get());
      ASSERT_TRUE(context->AddRuntimeObject(object.get()));
      objects.push_back(object.get());
    }
    RuntimeObject* a = objects[0];
    RuntimeObject* b = objects[1];
    RuntimeObject* c = objects[2];
    RuntimeObject* d = objects[3];
    // A -> B -> C -> A with matching in-sets, a self loop on D, and a
    // duplicate out-link.
    a->AddOutObject(b);
    b->AddOutObject(c);
    c->AddOutObject(a);
    c->AddOutObject(a);
    b->AddInObject(a);
    c->AddInObject(b);
    a->AddInObject(c);
    d->AddOutObject(d);
    d->AddInObject(d);
    d->AddInObject(a);
    context->set_start_runtime_object(a);
    // A task still owned at teardown goes with its object.
    b->set_task(new CountedTask(&tasks_destroyed));
  }
  EXPECT_EQ(4, objects_destroyed);
  EXPECT_EQ(1, tasks_destroyed);
  EXPECT_TRUE(proto->HasOneRef());
}

TEST(RuntimeObjectTest, OwnsOneTaskAtATime) {
  int destroyed = 0;
  scoped_refptr<RuntimeObject> object(new RuntimeObject("A"));
  EXPECT_EQ(nullptr, object->task());
  CountedTask* first = new CountedTask(&destroyed);
  object->set_task(first);
  object->set_task(first);
  EXPECT_EQ(0, destroyed) << "setting the same task again keeps it";
  object->set_task(new CountedTask(&destroyed));
  EXPECT_EQ(1, destroyed) << "a replaced task is deleted";
  task::TaskBase* released = object->release_task();
  EXPECT_EQ(nullptr, object->task());
  EXPECT_EQ(1, destroyed);
  object->set_task(released);
  object->set_task(nullptr);
  EXPECT_EQ(2, destroyed);
}

TEST(RuntimeObjectTest, InSetTracksEachObjectOnce) {
  scoped_refptr<RuntimeObject> x(new RuntimeObject("X"));
  scoped_refptr<RuntimeObject> a(new RuntimeObject("A"));
  scoped_refptr<RuntimeObject> b(new RuntimeObject("B"));
  EXPECT_EQ(RuntimeObject::OWN_THREAD, x->thread());
  EXPECT_FALSE(x->defined());
  EXPECT_TRUE(x->AllInObjectsFinished()) << "an empty in-set";
  EXPECT_TRUE(x->AddInObject(a.get()));
  EXPECT_TRUE(x->AddInObject(b.get()));
  EXPECT_FALSE(x->AddInObject(a.get()));
  EXPECT_EQ(2u, x->in_objects().size());
  EXPECT_TRUE(x->MarkInObjectFinished(a.get()));
  EXPECT_FALSE(x->AllInObjectsFinished());
  // A repeated add does not clear a finished mark.
  EXPECT_FALSE(x->AddInObject(a.get()));
  EXPECT_FALSE(x->MarkInObjectFinished(x.get())) << "not in the set";
  EXPECT_TRUE(x->MarkInObjectFinished(b.get()));
  EXPECT_TRUE(x->AllInObjectsFinished());
}

TEST(TaskContextTest, ForwardReferenceNeverDefined) {
  const char kDocument[] =
      "<Tasks start=\"A\"><Task name=\"T\" class=\"C\">"
      "<RuntimeObject name=\"A\" thread=\"UI\"><Out object=\"Ghost\"/></RuntimeObject>"
      "</Task></Tasks>";
  scoped_refptr<TaskContext> context(new TaskContext);
  EXPECT_FALSE(TaskXmlParser::ParseDocument(kDocument, sizeof(kDocument) - 1, context.get()));
  RuntimeObject* ghost = context->FindRuntimeObject("Ghost");
  ASSERT_NE(nullptr, ghost);
  EXPECT_FALSE(ghost->defined());
  EXPECT_EQ(3, ghost->thread());
  EXPECT_EQ(nullptr, ghost->task_proto());
  ASSERT_EQ(1u, context->FindRuntimeObject("A")->out_objects().size());
  EXPECT_EQ(ghost, context->FindRuntimeObject("A")->out_objects()[0].get());
}

}  // namespace
}  // namespace task_object
