#include "tests/support/test_files.h"

#include <windows.h>

#include <algorithm>

namespace test_files {

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::wstring> List(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return names;
}

void RemoveTree(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
    return;
  }
  for (const std::wstring& name : List(path)) RemoveTree(path + L"\\" + name);
  RemoveDirectoryW(path.c_str());
}

namespace {

void AppendTree(const std::wstring& folder, const std::wstring& prefix,
                std::vector<std::wstring>* found) {
  WIN32_FIND_DATAW data = {};
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      found->push_back(prefix + name + L"\\");
      AppendTree(folder + L"\\" + name, prefix + name + L"\\", found);
    } else {
      found->push_back(prefix + name);
    }
  } while (FindNextFileW(find, &data));
  FindClose(find);
}

void MakeFolders(const std::wstring& folder) {
  if (folder.empty() || IsDirectory(folder)) return;
  const size_t slash = folder.find_last_of(L"\\/");
  if (slash != std::wstring::npos && slash > 2) MakeFolders(folder.substr(0, slash));
  CreateDirectoryW(folder.c_str(), nullptr);
}

}  // namespace

std::vector<std::wstring> Tree(const std::wstring& folder) {
  std::vector<std::wstring> found;
  AppendTree(folder, L"", &found);
  std::sort(found.begin(), found.end());
  return found;
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  const size_t slash = path.find_last_of(L"\\/");
  if (slash != std::wstring::npos) MakeFolders(path.substr(0, slash));
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

HeldFile::HeldFile(const std::wstring& path)
    : handle_(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr)) {}

HeldFile::~HeldFile() {
  if (ok()) CloseHandle(handle_);
}

}  // namespace test_files
