#include "TarnelSetup/setup_util.h"

#include <windows.h>

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

}  // namespace setup
