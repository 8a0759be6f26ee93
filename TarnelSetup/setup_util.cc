#include "TarnelSetup/setup_util.h"

#include <windows.h>

#include <shlwapi.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "base/file_path_util.h"

namespace setup {

namespace {

const int kMaxTempDirAttempts = 50;
// Folder numbers are rand() modulo this, so from 0 to 32766.
const int kTempDirNumberRange = 0x7FFF;
const DWORD kLongPathBufferSize = 4096;

// The temporary folder as GetTempPathW reports it (with its trailing
// separator); empty when it is unavailable or 260 units or longer.
std::wstring GetTempFolder() {
  wchar_t buffer[MAX_PATH];
  DWORD length = GetTempPathW(MAX_PATH, buffer);
  if (length == 0 || length >= MAX_PATH) return std::wstring();
  return std::wstring(buffer, length);
}

std::wstring RandomNumberText() { return std::to_wstring(rand() % kTempDirNumberRange); }

}  // namespace

bool MakeUniqueTempDir(std::wstring* out) {
  if (!out) return false;
  const std::wstring temp = base::StripTrailingSeparators(GetTempFolder());
  if (temp.empty()) return false;

  srand(static_cast<unsigned int>(time(nullptr)));
  for (int attempt = 0; attempt < kMaxTempDirAttempts; ++attempt) {
    const std::wstring candidate = base::JoinPath(temp, L"kivo_setup_" + RandomNumberText());
    WIN32_FIND_DATAW find_data;
    HANDLE find = FindFirstFileW(candidate.c_str(), &find_data);
    if (find != INVALID_HANDLE_VALUE) {
      FindClose(find);
      continue;  // taken
    }
    if (base::CreateDirectoryPath(candidate)) {
      *out = candidate;
      return true;
    }
  }
  return false;
}

bool MakeTempDirWithPrefix(const std::wstring& prefix, std::wstring* out) {
  if (!out) return false;
  const std::wstring temp = GetTempFolder();
  if (temp.empty()) return false;

  srand(static_cast<unsigned int>(time(nullptr)));
  for (int attempt = 0; attempt < kMaxTempDirAttempts; ++attempt) {
    // The temporary folder ends with its separator: the prefix goes right
    // after it, so the new folder is a direct child.
    const std::wstring candidate = temp + prefix + RandomNumberText();
    if (!CreateDirectoryW(candidate.c_str(), nullptr)) continue;  // taken, most likely

    wchar_t long_path[kLongPathBufferSize];
    DWORD length = GetLongPathNameW(candidate.c_str(), long_path, kLongPathBufferSize);
    if (length == 0 || length >= kLongPathBufferSize) return false;
    out->assign(long_path, length);
    return true;
  }
  return false;
}

const wchar_t kProductNamePlaceholder[] = L"[ProductName]";

int ReplaceSubstrings(std::wstring* text, const std::wstring& pattern,
                      const std::wstring& replacement) {
  // An empty pattern would match everywhere, forever.
  if (!text || pattern.empty()) return 0;
  int count = 0;
  size_t position = text->find(pattern);
  while (position != std::wstring::npos) {
    text->replace(position, pattern.size(), replacement);
    ++count;
    position = text->find(pattern, position + replacement.size());
  }
  return count;
}

void PrepareMessageTexts(const std::wstring& product_name, std::wstring* caption,
                         std::wstring* body) {
  if (caption) ReplaceSubstrings(caption, kProductNamePlaceholder, product_name);
  if (body) {
    ReplaceSubstrings(body, kProductNamePlaceholder, product_name);
    ReplaceSubstrings(body, L"\\n", L"\n");
  }
}

namespace {

// The removal's aside names are numbered from 1 up to this.
const unsigned long kMaxAsideNumber = 1ul << 30;

// |path| stripped to its root in a MAX_PATH buffer; false for a path of 260
// or more units or one that has no root.
bool GetPathRoot(const std::wstring& path, std::wstring* root) {
  if (path.size() >= MAX_PATH) return false;
  wchar_t buffer[MAX_PATH] = {};
  path.copy(buffer, path.size());
  if (!PathStripToRootW(buffer)) return false;
  root->assign(buffer);
  return true;
}

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// Roots compared as paths: "/" and "\" alike, trailing separators ignored,
// the drive letter in any case.
bool SameRoot(const std::wstring& a, const std::wstring& b) {
  std::wstring left = base::NormalizePath(a);
  std::wstring right = base::NormalizePath(b);
  if (left.size() != right.size()) return false;
  for (size_t i = 0; i < left.size(); ++i) {
    wchar_t l = left[i];
    wchar_t r = right[i];
    if (i == 0 && left.size() >= 2 && left[1] == L':' && IsDriveLetter(l) && IsDriveLetter(r)) {
      l = static_cast<wchar_t>(l | 0x20);
      r = static_cast<wchar_t>(r | 0x20);
    }
    if (l != r) return false;
  }
  return true;
}

bool AnythingNamed(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(path.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  FindClose(find);
  return true;
}

bool EqualsIgnoringAsciiCase(const std::wstring& text, const wchar_t* other) {
  return _wcsicmp(text.c_str(), other) == 0;
}

// Where a file name's extension starts (the name's size when it has none).
// Compressed tarballs keep both parts: "b.tar.gz" has ".tar.gz".
size_t ExtensionStart(const std::wstring& name) {
  const size_t last = name.rfind(L'.');
  if (last == std::wstring::npos) return name.size();
  const std::wstring after = name.substr(last + 1);
  if (last > 0 && (EqualsIgnoringAsciiCase(after, L"gz") || EqualsIgnoringAsciiCase(after, L"z") ||
                   EqualsIgnoringAsciiCase(after, L"bz2"))) {
    const size_t previous = name.rfind(L'.', last - 1);
    if (previous != std::wstring::npos) {
      const size_t inner = last - previous - 1;
      if (inner >= 1 && inner <= 4) return previous;
    }
  }
  return last;
}

}  // namespace

bool GetRemoveFileTempDir(const std::wstring& install_dir, std::wstring* folder) {
  std::wstring install_root;
  if (!GetPathRoot(install_dir, &install_root)) return false;

  std::wstring base_folder = install_dir;
  wchar_t temp_buffer[MAX_PATH] = {};
  const DWORD temp_length = GetTempPathW(MAX_PATH, temp_buffer);
  if (temp_length != 0 && temp_length < MAX_PATH) {
    const std::wstring temp = base::StripTrailingSeparators(temp_buffer);
    std::wstring temp_root;
    if (!GetPathRoot(temp, &temp_root)) return false;
    // Moving aside across volumes would copy; stay on the installation's.
    if (SameRoot(temp_root, install_root)) base_folder = temp;
  }

  srand(static_cast<unsigned int>(time(nullptr)));
  for (int attempt = 0; attempt < kMaxTempDirAttempts; ++attempt) {
    const std::wstring candidate = base::JoinPath(base_folder, L"kivo_setup_" + RandomNumberText());
    if (!AnythingNamed(candidate)) {
      *folder = candidate;
      return true;
    }
  }
  return false;
}

bool GetRenameTarget(const std::wstring& path, const std::wstring& aside_folder,
                     std::wstring* target, bool* is_folder) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  *is_folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;

  std::wstring target_folder = base::GetParentPath(path);
  std::wstring path_root;
  std::wstring aside_root;
  if (!aside_folder.empty() && GetPathRoot(path, &path_root) &&
      GetPathRoot(aside_folder, &aside_root) && path_root == aside_root) {
    target_folder = base::StripTrailingSeparators(aside_folder);
  }

  const std::wstring name = base::GetFileName(base::StripTrailingSeparators(path));
  const size_t extension_start = *is_folder ? name.size() : ExtensionStart(name);
  const std::wstring prefix =
      base::JoinPath(target_folder, L"~" + name.substr(0, extension_start) + L"_");
  const std::wstring extension = name.substr(extension_start);

  // Bisection for the first free number: about 30 look-ups when the numbers
  // in use run from 1.
  unsigned long low = 1;
  unsigned long high = kMaxAsideNumber;
  while (low != high) {
    const unsigned long mid = low + (high - low) / 2;
    if (AnythingNamed(prefix + std::to_wstring(mid) + extension)) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  const std::wstring candidate = prefix + std::to_wstring(high) + extension;
  if (AnythingNamed(candidate)) return false;
  *target = candidate;
  return true;
}

}  // namespace setup
