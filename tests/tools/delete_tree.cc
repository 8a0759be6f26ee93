// The plain way to remove a folder tree, as a yardstick for the uninstall's
// removal: FindFirstFileW/FindNextFileW, DeleteFileW on every file and
// RemoveDirectoryW on every folder, children first.
//
//   delete_tree.exe FOLDER
//
// Prints "files=N dirs=N failed=N ms=N" (ms measured inside the process,
// without its start) on stdout; exit code 0 when everything went, else 1.
#include <windows.h>

#include <string>

#include "tests/tools/tool_common.h"

namespace {

struct Counts {
  unsigned long files = 0;
  unsigned long dirs = 0;
  unsigned long failed = 0;
};

void DeleteTree(const std::wstring& folder, Counts* counts) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = folder + L"\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        DeleteTree(path, counts);
      } else if (DeleteFileW(path.c_str())) {
        ++counts->files;
      } else {
        ++counts->failed;
      }
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  if (RemoveDirectoryW(folder.c_str())) {
    ++counts->dirs;
  } else {
    ++counts->failed;
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    tool::Complain(L"usage: delete_tree.exe FOLDER");
    return 64;
  }
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  Counts counts;
  DeleteTree(argv[1], &counts);
  QueryPerformanceCounter(&end);
  const unsigned long ms =
      static_cast<unsigned long>((end.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart);
  std::string out = tool::ToUtf8(
      L"files=" + tool::Decimal(counts.files) + L" dirs=" + tool::Decimal(counts.dirs) +
      L" failed=" + tool::Decimal(counts.failed) + L" ms=" + tool::Decimal(ms) + L"\n");
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), out.data(), static_cast<DWORD>(out.size()), &written,
            nullptr);
  return counts.failed == 0 ? 0 : 1;
}
