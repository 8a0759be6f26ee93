#include "TarnelSetup/setup_context.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/at_exit.h"
#include "base/logging.h"
#include "base/name_hash.h"
#include "tests/support/log_capture.h"

namespace {

// Every test gets a fresh store: it is created on first use and destroyed by
// the test's own AtExitManager.
class SetupContextTest : public testing::Test {
 protected:
  SetupContext* context() { return SetupContext::GetInstance(); }
  base::AtExitManager at_exit_;
};

TEST_F(SetupContextTest, SetReportsNewOrReplaced) {
  EXPECT_TRUE(context()->SetString("CheckResult", "ResultCancel"));
  EXPECT_FALSE(context()->SetString("CheckResult", "ResultOK"));
  std::string value;
  EXPECT_TRUE(context()->GetString("CheckResult", &value));
  EXPECT_EQ("ResultOK", value);

  EXPECT_TRUE(context()->SetWString("PreviousInstallPath", L"C:\\a"));
  EXPECT_FALSE(context()->SetWString("PreviousInstallPath", L"C:\\b"));
  std::wstring wide;
  EXPECT_TRUE(context()->GetWString("PreviousInstallPath", &wide));
  EXPECT_EQ(L"C:\\b", wide);

  EXPECT_TRUE(context()->SetInt("UninstallModuleHandle", 0x400000));
  EXPECT_FALSE(context()->SetInt("UninstallModuleHandle", -7));
  int32_t number = 0;
  EXPECT_TRUE(context()->GetInt("UninstallModuleHandle", &number));
  EXPECT_EQ(-7, number);
}

TEST_F(SetupContextTest, AbsentKeys) {
  std::string value = "previous";
  EXPECT_FALSE(context()->GetString("NeedUnistall", &value));
  EXPECT_EQ("previous", value);

  std::wstring wide = L"previous";
  EXPECT_FALSE(context()->GetWString("InstallPath", &wide));
  EXPECT_EQ(L"", wide) << "an absent wide value reads as empty";

  int32_t number = 42;
  EXPECT_FALSE(context()->GetInt("HasCreateWindowsTemp", &number));
  EXPECT_EQ(42, number);
}

TEST_F(SetupContextTest, IntegersAndStringsAreSeparateTables) {
  EXPECT_TRUE(context()->SetInt("Both", 1));
  std::string value = "untouched";
  EXPECT_FALSE(context()->GetString("Both", &value));
  EXPECT_EQ("untouched", value);

  EXPECT_TRUE(context()->SetString("Both", "text")) << "new in the string table";
  int32_t number = 0;
  EXPECT_TRUE(context()->GetInt("Both", &number));
  EXPECT_EQ(1, number);

  EXPECT_TRUE(context()->SetString("OnlyString", "x"));
  EXPECT_FALSE(context()->GetInt("OnlyString", &number));
  EXPECT_EQ(1, number);
}

TEST_F(SetupContextTest, EmptyKeyIsAKey) {
  EXPECT_TRUE(context()->SetString("", "empty key"));
  std::string value;
  EXPECT_TRUE(context()->GetString("", &value));
  EXPECT_EQ("empty key", value);
  EXPECT_FALSE(context()->GetString("x", &value));
}

TEST_F(SetupContextTest, KeysWithTheSameHashAreOneEntry) {
  // "costarring" and "liquid" have the same FNV-1a hash: the text is not kept.
  ASSERT_EQ(base::NameHash("costarring"), base::NameHash("liquid"));
  EXPECT_TRUE(context()->SetString("costarring", "a"));
  EXPECT_FALSE(context()->SetString("liquid", "b"));
  std::string value;
  EXPECT_TRUE(context()->GetString("costarring", &value));
  EXPECT_EQ("b", value);
  // Case matters: other bytes, other hash.
  EXPECT_FALSE(context()->GetString("Liquid", &value));
}

TEST_F(SetupContextTest, WideValuesAreHeldAsUtf8) {
  struct Case {
    const char* what;
    std::wstring stored;
    std::string bytes;
    std::wstring read_back;
  } cases[] = {
      {"ASCII", L"C:\\Kivo", "C:\\Kivo", L"C:\\Kivo"},
      {"two-byte", L"\x00e9", "\xc3\xa9", L"\x00e9"},
      {"Chinese", L"\x63d0\x793a", "\xe6\x8f\x90\xe7\xa4\xba", L"\x63d0\x793a"},  // 提示
      {"surrogate pair", L"\xd83d\xde00", "\xf0\x9f\x98\x80", L"\xd83d\xde00"},
      {"lone high surrogate", L"a\xd800z", "a\xef\xbf\xbdz", L"a\xfffdz"},
      {"lone low surrogate", L"\xdc00", "\xef\xbf\xbd", L"\xfffd"},
      {"high surrogate at the end", L"ab\xdbff", "ab\xef\xbf\xbd", L"ab\xfffd"},
      {"reversed pair", L"\xdc00\xd800", "\xef\xbf\xbd\xef\xbf\xbd", L"\xfffd\xfffd"},
      {"empty", L"", "", L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    context()->SetWString("Wide", c.stored);
    std::string bytes;
    EXPECT_TRUE(context()->GetString("Wide", &bytes));
    EXPECT_EQ(c.bytes, bytes);
    std::wstring wide;
    EXPECT_TRUE(context()->GetWString("Wide", &wide));
    EXPECT_EQ(c.read_back, wide);
  }
}

TEST_F(SetupContextTest, MalformedUtf8ReadsBackWithReplacementCharacters) {
  struct Case {
    const char* what;
    std::string bytes;
    std::wstring expected;
  } cases[] = {
      {"continuation byte as lead", "a\x80z", L"a\xfffdz"},
      {"two stray continuation bytes", "\xbf\x80", L"\xfffd\xfffd"},
      {"FE and FF", "\xfe\xff", L"\xfffd\xfffd"},
      {"truncated three-byte sequence", "\xe6\x8f", L"\xfffd"},
      {"lead without continuation", "\xe6z", L"\xfffdz"},
      {"overlong slash", "\xc0\xaf", L"\xfffd"},
      {"overlong NUL in three bytes", "\xe0\x80\x80", L"\xfffd"},
      {"encoded surrogate", "\xed\xa0\x80", L"\xfffd"},
      {"above U+10FFFF", "\xf4\x90\x80\x80", L"\xfffd"},
      {"old five-byte form", "\xf8\x88\x80\x80\x80z", L"\xfffdz"},
      {"old six-byte form", "\xfc\x84\x80\x80\x80\x80", L"\xfffd"},
      {"largest code point", "\xf4\x8f\xbf\xbf", L"\xdbff\xdfff"},
      {"embedded NUL kept", std::string("a\0b", 3), std::wstring(L"a\0b", 3)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    context()->SetString("Bytes", c.bytes);
    std::wstring wide;
    EXPECT_TRUE(context()->GetWString("Bytes", &wide));
    EXPECT_EQ(c.expected, wide);
  }
}

TEST_F(SetupContextTest, NullPointerIsTheVauleCheck) {
  LogCapture log;
  logging::SetDebugChecksEnabled(true);
  context()->SetString("Key", "v");
  context()->SetInt("Key", 1);
  EXPECT_FALSE(context()->GetString("Key", nullptr));
  EXPECT_FALSE(context()->GetInt("Key", nullptr));
  EXPECT_FALSE(context()->GetWString("Key", nullptr));
  logging::SetDebugChecksEnabled(false);
  EXPECT_EQ((std::vector<std::string>{"Check failed: vaule. ", "Check failed: vaule. "}),
            log.Lines());
}

TEST_F(SetupContextTest, AtExitDestroysTheStoreAndANewOneStartsEmpty) {
  SetupContext* first = context();
  EXPECT_EQ(first, context());
  first->SetString("Key", "v");
  base::AtExitManager::ProcessCallbacksNow();

  std::string value;
  EXPECT_FALSE(context()->GetString("Key", &value)) << "the old store's value survived";
}

struct Racer {
  HANDLE start;
  SetupContext* seen;
};

DWORD WINAPI Race(void* param) {
  Racer* racer = static_cast<Racer*>(param);
  WaitForSingleObject(racer->start, INFINITE);
  racer->seen = SetupContext::GetInstance();
  racer->seen->SetInt("Racer", 1);
  return 0;
}

TEST_F(SetupContextTest, ThreadsRacingForTheFirstUseGetOneStore) {
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    HANDLE start = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(start);
    Racer racers[8];
    HANDLE threads[8];
    for (int i = 0; i < 8; ++i) {
      racers[i] = {start, nullptr};
      threads[i] = CreateThread(nullptr, 0, &Race, &racers[i], 0, nullptr);
      ASSERT_TRUE(threads[i]);
    }
    SetEvent(start);
    WaitForMultipleObjects(8, threads, TRUE, INFINITE);
    for (HANDLE thread : threads) CloseHandle(thread);
    CloseHandle(start);

    for (const Racer& racer : racers) EXPECT_EQ(racers[0].seen, racer.seen);
    EXPECT_EQ(racers[0].seen, context());
    int32_t value = 0;
    EXPECT_TRUE(context()->GetInt("Racer", &value)) << "a racer wrote into a lost store";
    // Back to "not created" for the next round.
    base::AtExitManager::ProcessCallbacksNow();
  }
}

}  // namespace
