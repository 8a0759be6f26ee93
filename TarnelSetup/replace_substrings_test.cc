#include <string>

#include "TarnelSetup/setup_util.h"
#include "base/utf_string_conversions.h"
#include "gtest/gtest.h"

namespace {

struct ReplaceCase {
  const char* name;
  std::wstring text;
  std::wstring pattern;
  std::wstring replacement;
  int count;
  std::wstring result;
};

class ReplaceSubstringsTest : public ::testing::TestWithParam<ReplaceCase> {};

TEST_P(ReplaceSubstringsTest, ReplacesEveryOccurrenceOnce) {
  const ReplaceCase& c = GetParam();
  std::wstring text = c.text;
  EXPECT_EQ(c.count, setup::ReplaceSubstrings(&text, c.pattern, c.replacement));
  EXPECT_EQ(base::WideToUTF8(c.result), base::WideToUTF8(text));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplaceSubstringsTest,
    ::testing::Values(
        ReplaceCase{"NoOccurrence", L"plain text", L"[ProductName]", L"Kivo", 0, L"plain text"},
        ReplaceCase{"EmptyText", L"", L"x", L"y", 0, L""},
        ReplaceCase{"SeveralOccurrences", L"[P] and [P], [P]", L"[P]", L"Kivo", 3,
                    L"Kivo and Kivo, Kivo"},
        ReplaceCase{"AdjacentOccurrences", L"aaaa", L"aa", L"b", 2, L"bb"},
        // The inserted text is not searched again.
        ReplaceCase{"ReplacementContainsThePattern", L"x-x", L"x", L"xx", 2, L"xx-xx"},
        ReplaceCase{"ReplacementMakesANewOccurrence", L"aab", L"ab", L"b", 1, L"ab"},
        ReplaceCase{"EmptyReplacementRemoves", L"a,b,,c", L",", L"", 3, L"abc"},
        ReplaceCase{"WholeText", L"[ProductName]", L"[ProductName]", L"NorvaneKivo", 1,
                    L"NorvaneKivo"},
        ReplaceCase{"CaseMatters", L"[productname]", L"[ProductName]", L"Kivo", 0,
                    L"[productname]"},
        // An empty pattern would match everywhere; nothing is replaced.
        ReplaceCase{"EmptyPattern", L"abc", L"", L"x", 0, L"abc"}),
    [](const ::testing::TestParamInfo<ReplaceCase>& info) { return std::string(info.param.name); });

TEST(PrepareMessageTextsTest, PutsInTheProductNameAndLineFeedsInTheBodyOnly) {
  std::wstring caption = L"[ProductName]\\n[ProductName]";
  std::wstring body = L"[ProductName] runs.\\nClose [ProductName]\\\\n.\r\n";
  setup::PrepareMessageTexts(L"Kivo", &caption, &body);
  EXPECT_EQ(base::WideToUTF8(L"Kivo\\nKivo"), base::WideToUTF8(caption));
  // "\\\\n" is a backslash followed by the pair: only the pair becomes a line feed.
  EXPECT_EQ(base::WideToUTF8(L"Kivo runs.\nClose Kivo\\\n.\r\n"), base::WideToUTF8(body));
}

}  // namespace
