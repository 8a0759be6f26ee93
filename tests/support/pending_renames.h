#ifndef TESTS_SUPPORT_PENDING_RENAMES_H_
#define TESTS_SUPPORT_PENDING_RENAMES_H_

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

// The system's list of file operations to carry out at the next restart
// (HKLM\System\CurrentControlSet\Control\Session Manager,
// "PendingFileRenameOperations"). Saves the list when constructed and puts
// it back, or removes it when there was none, when destroyed, so a test may
// register deletions freely.
class PendingRenamesGuard {
 public:
  typedef std::pair<std::wstring, std::wstring> Operation;  // source, target

  PendingRenamesGuard();
  ~PendingRenamesGuard();

  // Whether the list's key could be opened.
  bool ok() const { return key_ != nullptr; }

  // The list's strings in order, pairs of source and target ("\??\C:\..."
  // and an empty target for a deletion).
  std::vector<std::wstring> Entries() const;

  // The sources of the deletions (pairs with an empty target) whose path
  // starts with |prefix| (compared without regard to case, the "\??\"
  // removed), in order.
  std::vector<std::wstring> DeletionsUnder(const std::wstring& prefix) const;

  // Every pair in the list now, as stored ("!" before a target that may be
  // replaced), and the pairs added since construction.
  std::vector<Operation> Operations() const;
  std::vector<Operation> Added() const;

 private:
  bool Read(std::wstring* data, DWORD* type) const;

  HKEY key_ = nullptr;
  bool had_value_ = false;
  std::wstring original_;
  DWORD original_type_ = REG_MULTI_SZ;
  size_t original_count_ = 0;

  PendingRenamesGuard(const PendingRenamesGuard&) = delete;
  PendingRenamesGuard& operator=(const PendingRenamesGuard&) = delete;
};

// The stored form of a deletion of |path|: ("\??\" + path, "").
PendingRenamesGuard::Operation PendingDelete(const std::wstring& path);

#endif  // TESTS_SUPPORT_PENDING_RENAMES_H_
