#include "base/command_line.h"

#include <windows.h>

#include <gtest/gtest.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "base/utf_string_conversions.h"

namespace {

using base::CommandLine;

// What the platform's splitter makes of |line|.
std::vector<std::wstring> SplitWithPlatform(const std::wstring& line) {
  std::vector<std::wstring> out;
  int count = 0;
  wchar_t** args = CommandLineToArgvW(line.c_str(), &count);
  if (!args) return out;
  for (int i = 0; i < count; ++i) out.push_back(args[i]);
  LocalFree(args);
  return out;
}

std::string Printable(const std::wstring& text) { return base::WideToUTF8(text); }

// --- switch recognition ---------------------------------------------------

struct SwitchCase {
  const char* name;
  const wchar_t* elements;  // what follows the program on the line
  bool present;
  const wchar_t* value;
};

class SwitchPresentTest : public testing::TestWithParam<SwitchCase> {};

TEST_P(SwitchPresentTest, FindsSwitchTemp) {
  const SwitchCase& c = GetParam();
  CommandLine line = CommandLine::FromString(std::wstring(L"C:\\x.exe ") + c.elements);
  EXPECT_EQ(c.present, line.SwitchPresent("temp"));
  EXPECT_EQ(c.present, line.SwitchPresent(L"TeMp"));
  EXPECT_EQ(std::wstring(c.value), line.GetSwitchValue("temp"));
}

const SwitchCase kSwitchCases[] = {
    {"TwoDashes", L"--temp", true, L""},
    {"OneDash", L"-temp", true, L""},
    {"Slash", L"/temp", true, L""},
    {"UpperCase", L"--TEMP", true, L""},
    {"WithValue", L"--temp=1", true, L"1"},
    {"ValueAfterFirstEquals", L"/Temp=a=b", true, L"a=b"},
    {"EmptyValue", L"--temp=", true, L""},
    {"QuotedValue", L"\"--temp=a b\"", true, L"a b"},
    {"LastOccurrenceWins", L"--temp=1 -temp=2", true, L"2"},
    {"AmongOthers", L"a -x --temp b", true, L""},
    {"BareWord", L"temp", false, L""},
    {"AfterTerminator", L"-- --temp", false, L""},
    {"BeforeTerminator", L"--temp=1 -- --temp=2", true, L"1"},
    {"ThreeDashes", L"---temp", false, L""},
    {"LongerName", L"--temperature", false, L""},
    {"ShorterName", L"--tem", false, L""},
    {"PrefixOnly", L"- / --", false, L""},
    {"Nothing", L"", false, L""},
};

INSTANTIATE_TEST_SUITE_P(Elements, SwitchPresentTest, testing::ValuesIn(kSwitchCases),
                         [](const testing::TestParamInfo<SwitchCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(CommandLineParse, ProgramIsTrimmedAndElementsKeepTheirText) {
  CommandLine line =
      CommandLine::FromString(L"  \" C:\\Program Files\\x.exe \"  --temp  \"a b\" -- -x ");
  EXPECT_EQ(L"C:\\Program Files\\x.exe", line.GetProgram());
  EXPECT_EQ((CommandLine::StringVector{L"--temp", L"a b", L"--", L"-x"}), line.elements());
  // "--" and everything after it are plain arguments.
  EXPECT_EQ((CommandLine::StringVector{L"a b", L"--", L"-x"}), line.GetArgs());
}

TEST(CommandLineParse, EmptyStringGivesEmptyLine) {
  // The platform splitter would answer "" with this process's path.
  CommandLine line = CommandLine::FromString(L"   ");
  EXPECT_EQ(L"", line.GetProgram());
  EXPECT_TRUE(line.elements().empty());
}

TEST(CommandLineParse, ProcessLineIsMadeOnceFromTheProcessCommandLine) {
  EXPECT_TRUE(CommandLine::Init());
  CommandLine* first = CommandLine::ForCurrentProcess();
  ASSERT_NE(nullptr, first);
  EXPECT_FALSE(CommandLine::Init());
  EXPECT_EQ(first, CommandLine::ForCurrentProcess());

  std::vector<std::wstring> expected = SplitWithPlatform(GetCommandLineW());
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(expected[0], first->GetProgram());
  expected.erase(expected.begin());
  EXPECT_EQ(expected, first->elements());
}

// --- building ---------------------------------------------------------------

TEST(CommandLineBuild, CommandStrings) {
  struct Case {
    const char* what;
    const wchar_t* program;
    std::vector<std::wstring> arguments;
    const wchar_t* expected;
  };
  const Case cases[] = {
      {"path with space and /S",
       L"C:\\Program Files\\x.exe",
       {L"/S"},
       L"\"C:\\Program Files\\x.exe\" /S"},
      {"argument with a space", L"C:\\x.exe", {L"a b"}, L"\"C:\\x.exe\" \"a b\""},
      {"plain arguments unchanged",
       L"C:\\x.exe",
       {L"/s", L"/u", L"plain"},
       L"\"C:\\x.exe\" /s /u plain"},
      {"trailing backslash doubled",
       L"C:\\x.exe",
       {L"C:\\dir x\\"},
       L"\"C:\\x.exe\" \"C:\\dir x\\\\\""},
      {"quote escaped", L"C:\\x.exe", {L"say \"hi\""}, L"\"C:\\x.exe\" \"say \\\"hi\\\"\""},
      {"backslashes before a quote doubled",
       L"C:\\x.exe",
       {L"a\\\\\"b"},
       L"\"C:\\x.exe\" \"a\\\\\\\\\\\"b\""},
      {"inner backslashes copied once", L"C:\\x.exe", {L"C:\\a\\b"}, L"\"C:\\x.exe\" \"C:\\a\\b\""},
      {"switch value quoted", L"C:\\x.exe", {L"--dir=C:\\a b"}, L"\"C:\\x.exe\" --dir=\"C:\\a b\""},
      {"switch with empty value", L"C:\\x.exe", {L"--temp="}, L"\"C:\\x.exe\" --temp"},
      {"after -- everything is quoted whole",
       L"C:\\x.exe",
       {L"--", L"--dir=a b"},
       L"\"C:\\x.exe\" -- \"--dir=a b\""},
      {"empty argument kept", L"C:\\x.exe", {L""}, L"\"C:\\x.exe\" \"\""},
      {"program without special characters", L"x.exe", {L"--temp"}, L"x.exe --temp"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CommandLine line(c.program);
    for (const std::wstring& argument : c.arguments) line.AddArgument(argument);
    EXPECT_EQ(Printable(c.expected), Printable(line.CommandString()));
  }
}

TEST(CommandLineBuild, AddSwitchAndProgram) {
  CommandLine line(L"  C:\\Temp\\kivo_setup_42\\x.exe \t");
  EXPECT_EQ(L"C:\\Temp\\kivo_setup_42\\x.exe", line.GetProgram());
  line.AddSwitch("temp");
  EXPECT_TRUE(line.SwitchPresent("temp"));
  EXPECT_EQ(L"\"C:\\Temp\\kivo_setup_42\\x.exe\" --temp", line.CommandString());
  line.SetProgram(L" C:\\y.exe ");
  line.AddSwitch(L"S");
  EXPECT_EQ(L"\"C:\\y.exe\" --temp --S", line.CommandString());
}

// Arguments that CommandString must write so that the platform's splitter
// reads back exactly the same elements.
const wchar_t* const kTrickyArguments[] = {
    L"plain",
    L"a b",
    L"",
    L"\"",
    L"\"\"",
    L"a\"b",
    L"\\",
    L"a\\",
    L"a b\\",
    L"C:\\dir\\",
    L"C:\\dir x\\\\",
    L"\\\\server\\share\\",
    L"a\\\\\"b",
    L"\\\"",
    L"tab\there",
    L"line\nbreak",
    L"  spaces  ",
    L"/S",
    L"-x",
    L"--switch=va lue",
    L"--switch=C:\\x y\\",
    L"--switch=\"quoted\"",
    L"--switch==",
    L"--name with space=1",
    L"-a\"b=c",
    L"--a\\=b c",
    L"\x4e2d\x6587 \x6587\x4ef6",  // 中文 文件
};

TEST(CommandLineBuild, EachTrickyArgumentReadsBack) {
  for (const wchar_t* argument : kTrickyArguments) {
    SCOPED_TRACE(Printable(argument));
    CommandLine line(L"C:\\Program Files\\x.exe");
    line.AddArgument(argument);
    const std::wstring text = line.CommandString();
    std::vector<std::wstring> split = SplitWithPlatform(text);
    ASSERT_EQ(2u, split.size()) << Printable(text);
    EXPECT_EQ(L"C:\\Program Files\\x.exe", split[0]);
    EXPECT_EQ(Printable(argument), Printable(split[1])) << Printable(text);
  }
}

TEST(CommandLineBuild, WholeLineReadsBackAcrossTheTerminator) {
  CommandLine line(L"C:\\Program Files\\x.exe");
  for (const wchar_t* argument : kTrickyArguments) line.AddArgument(argument);
  line.AddArgument(L"--");
  for (const wchar_t* argument : kTrickyArguments) line.AddArgument(argument);
  line.AddArgument(L"--");

  CommandLine parsed = CommandLine::FromString(line.CommandString());
  EXPECT_EQ(line.GetProgram(), parsed.GetProgram());
  ASSERT_EQ(line.elements().size(), parsed.elements().size());
  for (size_t i = 0; i < line.elements().size(); ++i) {
    EXPECT_EQ(Printable(line.elements()[i]), Printable(parsed.elements()[i])) << "element " << i;
  }
  // Switches before the first "--" count; the last one of a name gives the value.
  EXPECT_EQ(L"1", parsed.GetSwitchValue("name with space"));
  EXPECT_EQ(L"=", parsed.GetSwitchValue("switch"));
}

}  // namespace
