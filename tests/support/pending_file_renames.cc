#include "tests/support/pending_file_renames.h"

#include <windows.h>

namespace {

const wchar_t kSessionManagerKey[] = L"System\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kValue[] = L"PendingFileRenameOperations";

}  // namespace

PendingFileRenamesGuard::PendingFileRenamesGuard() {
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                    &key_) != ERROR_SUCCESS) {
    key_ = nullptr;
    return;
  }
  had_value_ = Read(&original_, &original_type_);
  original_count_ = Operations().size();
}

PendingFileRenamesGuard::~PendingFileRenamesGuard() {
  if (!key_) return;
  if (had_value_) {
    RegSetValueExW(key_, kValue, 0, original_type_, reinterpret_cast<const BYTE*>(original_.data()),
                   static_cast<DWORD>(original_.size() * sizeof(wchar_t)));
  } else {
    RegDeleteValueW(key_, kValue);
  }
  RegCloseKey(key_);
}

bool PendingFileRenamesGuard::Read(std::wstring* data, DWORD* type) const {
  DWORD size = 0;
  if (RegQueryValueExW(key_, kValue, nullptr, type, nullptr, &size) != ERROR_SUCCESS) return false;
  data->assign(size / sizeof(wchar_t), L'\0');
  if (size && RegQueryValueExW(key_, kValue, nullptr, type, reinterpret_cast<BYTE*>(&(*data)[0]),
                               &size) != ERROR_SUCCESS) {
    return false;
  }
  data->resize(size / sizeof(wchar_t));
  return true;
}

std::vector<PendingFileRenamesGuard::Operation> PendingFileRenamesGuard::Operations() const {
  std::vector<Operation> operations;
  std::wstring data;
  DWORD type = 0;
  if (!key_ || !Read(&data, &type) || type != REG_MULTI_SZ) return operations;
  std::vector<std::wstring> strings;
  size_t begin = 0;
  while (begin < data.size()) {
    size_t end = data.find(L'\0', begin);
    if (end == std::wstring::npos) end = data.size();
    strings.push_back(data.substr(begin, end - begin));
    begin = end + 1;
  }
  // The list ends with one more empty string; a deletion's target is empty
  // too, so only a trailing unpaired one is dropped.
  if (strings.size() % 2) strings.pop_back();
  for (size_t i = 0; i + 1 < strings.size(); i += 2) {
    operations.emplace_back(strings[i], strings[i + 1]);
  }
  return operations;
}

std::vector<PendingFileRenamesGuard::Operation> PendingFileRenamesGuard::Added() const {
  std::vector<Operation> all = Operations();
  if (all.size() <= original_count_) return {};
  return std::vector<Operation>(all.begin() + original_count_, all.end());
}

PendingFileRenamesGuard::Operation PendingDelete(const std::wstring& path) {
  return PendingFileRenamesGuard::Operation(L"\\??\\" + path, L"");
}
