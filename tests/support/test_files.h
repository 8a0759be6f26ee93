#ifndef TESTS_SUPPORT_TEST_FILES_H_
#define TESTS_SUPPORT_TEST_FILES_H_

#include <windows.h>

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
// Everything below |folder|, sorted, relative to it; folders end in "\".
std::vector<std::wstring> Tree(const std::wstring& folder);
// Writes |bytes| to a new or truncated file, making missing folders first.
bool WriteBytes(const std::wstring& path, const std::string& bytes);

// A file opened without any sharing: while this lives it can be neither
// deleted nor moved, as a module in use.
class HeldFile {
 public:
  explicit HeldFile(const std::wstring& path);
  ~HeldFile();
  bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;
};

}  // namespace test_files

#endif  // TESTS_SUPPORT_TEST_FILES_H_
