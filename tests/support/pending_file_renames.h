#ifndef TESTS_SUPPORT_PENDING_FILE_RENAMES_H_
#define TESTS_SUPPORT_PENDING_FILE_RENAMES_H_

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

// The system's list of restart-time file operations (Session Manager's
// PendingFileRenameOperations) of the build's prefix, which a unit test
// that schedules deletions fills. Saved on construction and put back as it
// was on destruction, so no test leaves work for the prefix's next boot.
class PendingFileRenamesGuard {
 public:
  typedef std::pair<std::wstring, std::wstring> Operation;  // source, target

  PendingFileRenamesGuard();
  ~PendingFileRenamesGuard();

  // Whether the list's key could be opened (then the rest works).
  bool ok() const { return key_ != nullptr; }

  // Every pair in the list now, as stored ("\??\C:\x"; "" for a deletion,
  // "!" before a target that may be replaced).
  std::vector<Operation> Operations() const;
  // The pairs added since construction.
  std::vector<Operation> Added() const;

 private:
  bool Read(std::wstring* data, DWORD* type) const;

  HKEY key_ = nullptr;
  bool had_value_ = false;
  std::wstring original_;
  DWORD original_type_ = REG_MULTI_SZ;
  size_t original_count_ = 0;

  PendingFileRenamesGuard(const PendingFileRenamesGuard&) = delete;
  PendingFileRenamesGuard& operator=(const PendingFileRenamesGuard&) = delete;
};

// The stored form of a deletion of |path|: ("\??\" + path, "").
PendingFileRenamesGuard::Operation PendingDelete(const std::wstring& path);

#endif  // TESTS_SUPPORT_PENDING_FILE_RENAMES_H_
