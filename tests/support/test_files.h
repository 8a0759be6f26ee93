#ifndef TESTS_SUPPORT_TEST_FILES_H_
#define TESTS_SUPPORT_TEST_FILES_H_

#include <string>
#include <vector>

// Plain file-system helpers for tests, independent of the code under test.
namespace test_files {

bool Exists(const std::wstring& path);
bool IsDirectory(const std::wstring& path);
// Names in |folder| (without "." and ".."), in the file system's order.
std::vector<std::wstring> List(const std::wstring& folder);
// Removes a file or a whole tree, read-only files included; paths may use
// the \\?\ form.
void RemoveTree(const std::wstring& path);

}  // namespace test_files

#endif  // TESTS_SUPPORT_TEST_FILES_H_
