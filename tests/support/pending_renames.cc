#include "tests/support/pending_renames.h"

#include <windows.h>

namespace {

const wchar_t kKey[] = L"System\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kValue[] = L"PendingFileRenameOperations";
const wchar_t kNtPrefix[] = L"\\??\\";

}  // namespace

PendingRenamesGuard::PendingRenamesGuard() {
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key_) !=
      ERROR_SUCCESS) {
    key_ = nullptr;
    return;
  }
  had_value_ = Read(&original_, &original_type_);
  original_count_ = Operations().size();
}

PendingRenamesGuard::~PendingRenamesGuard() {
  if (!key_) return;
  if (had_value_) {
    RegSetValueExW(key_, kValue, 0, original_type_, reinterpret_cast<const BYTE*>(original_.data()),
                   static_cast<DWORD>(original_.size() * sizeof(wchar_t)));
  } else {
    RegDeleteValueW(key_, kValue);
  }
  RegCloseKey(key_);
}

bool PendingRenamesGuard::Read(std::wstring* data, DWORD* type) const {
  DWORD size = 0;
  if (RegQueryValueExW(key_, kValue, nullptr, type, nullptr, &size) != ERROR_SUCCESS) return false;
  data->assign(size / sizeof(wchar_t) + 1, L'\0');
  if (size && RegQueryValueExW(key_, kValue, nullptr, type, reinterpret_cast<BYTE*>(&(*data)[0]),
                               &size) != ERROR_SUCCESS) {
    return false;
  }
  data->resize(size / sizeof(wchar_t));
  return true;
}

std::vector<std::wstring> PendingRenamesGuard::Entries() const {
  std::vector<std::wstring> entries;
  std::wstring data;
  DWORD type = 0;
  if (!key_ || !Read(&data, &type)) return entries;
  size_t begin = 0;
  while (begin < data.size()) {
    size_t end = data.find(L'\0', begin);
    if (end == std::wstring::npos) end = data.size();
    entries.push_back(data.substr(begin, end - begin));
    begin = end + 1;
  }
  // The list ends with an empty string; a deletion's target is empty too,
  // so only the final terminator is dropped.
  if (entries.size() % 2 == 1 && entries.back().empty()) entries.pop_back();
  return entries;
}

std::vector<std::wstring> PendingRenamesGuard::DeletionsUnder(const std::wstring& prefix) const {
  std::vector<std::wstring> found;
  const std::vector<std::wstring> entries = Entries();
  for (size_t i = 0; i + 1 < entries.size(); i += 2) {
    if (!entries[i + 1].empty()) continue;
    std::wstring source = entries[i];
    if (source.compare(0, 4, kNtPrefix) == 0) source = source.substr(4);
    if (source.size() >= prefix.size() &&
        CompareStringOrdinal(source.c_str(), static_cast<int>(prefix.size()), prefix.c_str(),
                             static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL) {
      found.push_back(source);
    }
  }
  return found;
}

std::vector<PendingRenamesGuard::Operation> PendingRenamesGuard::Operations() const {
  std::vector<Operation> operations;
  const std::vector<std::wstring> entries = Entries();
  for (size_t i = 0; i + 1 < entries.size(); i += 2)
    operations.emplace_back(entries[i], entries[i + 1]);
  return operations;
}

std::vector<PendingRenamesGuard::Operation> PendingRenamesGuard::Added() const {
  std::vector<Operation> all = Operations();
  if (all.size() <= original_count_) return {};
  return std::vector<Operation>(all.begin() + original_count_, all.end());
}

PendingRenamesGuard::Operation PendingDelete(const std::wstring& path) {
  return PendingRenamesGuard::Operation(kNtPrefix + path, L"");
}
