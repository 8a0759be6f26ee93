#include "base/at_exit.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

namespace {

std::string* g_calls = nullptr;

void Record(void* name) { *g_calls += static_cast<const char*>(name); }

class AtExitTest : public testing::Test {
 protected:
  void SetUp() override { g_calls = &calls_; }
  void TearDown() override { g_calls = nullptr; }
  std::string calls_;
};

TEST_F(AtExitTest, CallbacksRunLastRegisteredFirst) {
  base::AtExitManager manager;
  base::AtExitManager::RegisterCallback(&Record, const_cast<char*>("A"));
  base::AtExitManager::RegisterCallback(&Record, const_cast<char*>("B"));
  base::AtExitManager::RegisterCallback(&Record, const_cast<char*>("C"));
  base::AtExitManager::ProcessCallbacksNow();
  EXPECT_EQ("CBA", calls_);
  // The stack is empty afterwards: nothing runs twice.
  base::AtExitManager::ProcessCallbacksNow();
  EXPECT_EQ("CBA", calls_);
}

TEST_F(AtExitTest, DestroyingTheManagerRunsItsCallbacks) {
  {
    base::AtExitManager manager;
    base::AtExitManager::RegisterCallback(&Record, const_cast<char*>("1"));
    base::AtExitManager::RegisterCallback(&Record, const_cast<char*>("2"));
    EXPECT_EQ("", calls_);
  }
  EXPECT_EQ("21", calls_);
}

TEST_F(AtExitTest, CallbackWithoutLiveManagerIsDropped) {
  base::AtExitManager::RegisterCallback(&Record, const_cast<char*>("lost"));
  base::AtExitManager::ProcessCallbacksNow();  // no manager: nothing to do
  {
    base::AtExitManager manager;
    base::AtExitManager::RegisterCallback(&Record, const_cast<char*>("kept"));
  }
  EXPECT_EQ("kept", calls_);
  // After the manager is gone registration is dropped again.
  base::AtExitManager::RegisterCallback(&Record, const_cast<char*>("late"));
  { base::AtExitManager manager; }
  EXPECT_EQ("kept", calls_);
}

void RegisterInner(void*) {
  *g_calls += "outer";
  base::AtExitManager::RegisterCallback(&Record, const_cast<char*>("+inner"));
}

TEST_F(AtExitTest, CallbackMayRegisterAnotherWhileCallbacksRun) {
  {
    base::AtExitManager manager;
    base::AtExitManager::RegisterCallback(&RegisterInner, nullptr);
  }
  EXPECT_EQ("outer+inner", calls_);
}

std::atomic<int> g_count{0};
void Count(void*) { ++g_count; }

DWORD WINAPI RegisterMany(void* start_event) {
  WaitForSingleObject(static_cast<HANDLE>(start_event), INFINITE);
  for (int i = 0; i < 500; ++i) base::AtExitManager::RegisterCallback(&Count, nullptr);
  return 0;
}

TEST(AtExitThreads, RegistrationFromManyThreadsKeepsEveryCallback) {
  g_count = 0;
  {
    base::AtExitManager manager;
    HANDLE start = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(start);
    std::vector<HANDLE> threads;
    for (int i = 0; i < 6; ++i) {
      HANDLE thread = CreateThread(nullptr, 0, &RegisterMany, start, 0, nullptr);
      ASSERT_TRUE(thread);
      threads.push_back(thread);
    }
    SetEvent(start);
    WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, INFINITE);
    for (HANDLE thread : threads) CloseHandle(thread);
    CloseHandle(start);
    EXPECT_EQ(0, g_count.load());
  }
  EXPECT_EQ(6 * 500, g_count.load());
}

}  // namespace
