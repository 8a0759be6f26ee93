#include "base/path_containment.h"

#include <ostream>
#include <string>

#include "gtest/gtest.h"

namespace {

struct Case {
  const char* name;
  const wchar_t* directory;
  const wchar_t* path;
  bool inside;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class IsUnderDirectoryTest : public testing::TestWithParam<Case> {};

TEST_P(IsUnderDirectoryTest, Answers) {
  const Case& c = GetParam();
  EXPECT_EQ(c.inside, base::IsUnderDirectory(c.directory, c.path));
}

const Case kCases[] = {
    {"FileInSubfolder", L"C:\\Kivo", L"C:\\Kivo\\Bin\\x.exe", true},
    {"FileDirectlyInside", L"C:\\Kivo", L"C:\\Kivo\\x.exe", true},
    {"SiblingWithSamePrefix", L"C:\\Kivo", L"C:\\KivoOld\\x.exe", false},
    {"TheDirectoryItself", L"C:\\Kivo", L"C:\\Kivo", false},
    // Longer, and a backslash follows: this spelling of the folder counts.
    {"TheDirectoryWithBackslash", L"C:\\Kivo", L"C:\\Kivo\\", true},
    // The character after the directory is then never a backslash.
    {"DirectoryWithTrailingBackslash", L"C:\\Kivo\\", L"C:\\Kivo\\Bin\\x.exe", false},
    {"CaseDiffers", L"c:\\program files\\KIVO", L"C:\\Program Files\\kivo\\Kivo.exe", true},
    {"ForwardSlashes", L"C:/Kivo", L"C:/Kivo/Bin/x.exe", true},
    {"DotDotLeavesTheDirectory", L"C:\\Kivo", L"C:\\Kivo\\..\\Other\\x.exe", false},
    {"DotDotComesBackIn", L"C:\\Kivo", L"C:\\Other\\..\\Kivo\\x.exe", true},
    {"DotDotInTheDirectory", L"C:\\Other\\..\\Kivo", L"C:\\Kivo\\x.exe", true},
    {"OtherDrive", L"C:\\Kivo", L"D:\\Kivo\\x.exe", false},
    {"DriveRootWithItsBackslash", L"C:\\", L"C:\\Kivo\\x.exe", false},
    {"RelativeToTheCurrentFolder", L".", L"Kivo\\x.exe", true},
    // The full-path function would make an empty text the current folder.
    {"EmptyDirectory", L"", L"Kivo\\x.exe", false},
    {"EmptyPath", L"..", L"", false},
};

INSTANTIATE_TEST_SUITE_P(Table, IsUnderDirectoryTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

// Paths whose absolute form does not fit in 260 characters are never inside.
TEST(IsUnderDirectoryLimitTest, TooLongPathIsNotInside) {
  const std::wstring directory = L"C:\\Kivo";
  std::wstring near_limit = directory + L"\\" + std::wstring(240, L'a') + L"\\x.exe";
  ASSERT_LT(near_limit.size(), 260u);
  EXPECT_TRUE(base::IsUnderDirectory(directory, near_limit));
  std::wstring too_long = directory + L"\\" + std::wstring(300, L'a') + L"\\x.exe";
  EXPECT_FALSE(base::IsUnderDirectory(directory, too_long));
  EXPECT_FALSE(base::IsUnderDirectory(L"C:\\" + std::wstring(300, L'a'),
                                      L"C:\\" + std::wstring(300, L'a') + L"\\x.exe"));
}

}  // namespace
