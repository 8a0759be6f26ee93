#include "TarnelSetup/uninstall/uninstall_manifest.h"

#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <climits>
#include <vector>

#include "TarnelSetup/setup_context.h"
#include "base/file_path_util.h"
#include "base/logging.h"
#include "base/reg_key.h"
#include "base/utf_string_conversions.h"
#include "tinyxml2.h"

namespace uninstall {

namespace {

const wchar_t kProductKey[] = L"Software\\Norvane\\KivoNT";
const wchar_t kVersionValue[] = L"version";
const wchar_t kManifestName[] = L"Uninstall.xml";
const wchar_t kBackupFolder[] = L"Uninstall";

const char kInstallPathKey[] = "PreviousInstallPath";
const char kSetupTempPathKey[] = "SetupTempPath";

const char kInstallPathMacro[] = "$intallpath$";  // spelled so in the manifests
const char kCommonFilesMacro[] = "$common$";

// Module uninstallers that are never run.
const char kSkippedUninstaller[] = "diverurudav.exe";

// The accepted "rootkey" names: every short name is tried before the long
// names.
struct RootKeyName {
  const char* short_name;
  const char* long_name;
  HKEY key;
};
const RootKeyName kRootKeys[] = {
    {"HKCR", "HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {"HKLM", "HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {"HKCU", "HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {"HKU", "HKEY_USERS", HKEY_USERS},
    {"HKCC", "HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
    {"HKDD", "HKEY_DYN_DATA", HKEY_DYN_DATA},
    {"HKPD", "HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
};

HKEY FindRootKey(const char* name) {
  for (const RootKeyName& root : kRootKeys) {
    if (strcmp(name, root.short_name) == 0) return root.key;
  }
  for (const RootKeyName& root : kRootKeys) {
    if (strcmp(name, root.long_name) == 0) return root.key;
  }
  return nullptr;
}

bool PathExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsAsciiSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string TrimAsciiSpace(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsAsciiSpace(text[begin])) ++begin;
  while (end > begin && IsAsciiSpace(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// Leading blanks, an optional sign, then the leading digits; whatever
// follows is ignored and no digits read as 0. Saturates instead of
// overflowing.
long ParseLeadingInteger(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && IsAsciiSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (value <= LONG_MAX) value = value * 10 + (text[i] - '0');
  }
  if (value > LONG_MAX) value = LONG_MAX;
  return static_cast<long>(negative ? -value : value);
}

std::vector<std::string> SplitVersion(const std::string& value) {
  std::vector<std::string> pieces;
  if (value.empty()) return pieces;
  size_t start = 0;
  while (true) {
    const size_t dot = value.find('.', start);
    pieces.push_back(TrimAsciiSpace(value.substr(start, dot - start)));
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  return pieces;
}

bool EndsWithIgnoringCase(const std::string& text, const char* suffix) {
  const size_t length = strlen(suffix);
  if (text.size() < length) return false;
  return _strnicmp(text.c_str() + text.size() - length, suffix, length) == 0;
}

void ReplaceAll(std::string* text, const std::string& pattern, const std::string& replacement) {
  size_t position = text->find(pattern);
  while (position != std::string::npos) {
    text->replace(position, pattern.size(), replacement);
    position = text->find(pattern, position + replacement.size());
  }
}

// Closes the manifest's stream however parsing ends.
class ScopedStdioFile {
 public:
  explicit ScopedStdioFile(FILE* file) : file_(file) {}
  ~ScopedStdioFile() {
    if (file_) fclose(file_);
  }
  FILE* get() const { return file_; }

 private:
  FILE* file_;
  ScopedStdioFile(const ScopedStdioFile&) = delete;
  ScopedStdioFile& operator=(const ScopedStdioFile&) = delete;
};

}  // namespace

void LocateUninstallManifest(std::wstring* path, bool* is_backup) {
  SetupContext* context = SetupContext::GetInstance();
  std::wstring install_path;
  context->GetWString(kInstallPathKey, &install_path);
  const std::wstring primary = base::JoinPath(base::NormalizePath(install_path), kManifestName);
  *path = primary;
  *is_backup = false;
  if (PathExists(primary)) return;

  base::RegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, kProductKey, KEY_READ) != ERROR_SUCCESS) return;
  std::wstring version;
  if (key.ReadValue(kVersionValue, &version) != ERROR_SUCCESS || version.empty()) return;
  std::wstring temp_path;
  context->GetWString(kSetupTempPathKey, &temp_path);
  // Without its folder the backup's path would be relative to whatever the
  // current directory is.
  if (temp_path.empty()) return;
  const std::wstring backup = base::JoinPath(
      base::JoinPath(base::JoinPath(temp_path, kBackupFolder), version), kManifestName);
  if (!PathExists(backup)) return;
  *path = backup;
  *is_backup = true;
}

int LoadUninstallManifest(const std::wstring& path, tinyxml2::XMLDocument* document) {
  ScopedStdioFile file(_wfopen(path.c_str(), L"rb"));
  if (!file.get()) return tinyxml2::XML_ERROR_FILE_NOT_FOUND;
  return document->LoadFile(file.get());
}

std::string ExpandPathMacros(const std::string& value, const std::string& previous_install_path,
                             const std::string& common_files) {
  std::string expanded = value;
  ReplaceAll(&expanded, kInstallPathMacro, previous_install_path);
  ReplaceAll(&expanded, kCommonFilesMacro, common_files);
  return expanded;
}

void CheckManifestVersion(const std::string& version_num) {
  const std::vector<std::string> pieces = SplitVersion(version_num);
  if (pieces.size() != 2) {
    LOG(ERROR) << "version num invalid";
    return;
  }
  if (ParseLeadingInteger(pieces[0]) != 1 || ParseLeadingInteger(pieces[1]) != 0) {
    LOG(INFO) << "version num = " << version_num;
  }
}

UninstallManifest::UninstallManifest() = default;
UninstallManifest::~UninstallManifest() = default;

bool UninstallManifest::Open(const std::wstring& path) {
  document_.reset(new tinyxml2::XMLDocument());
  root_ = nullptr;
  load_error_ = LoadUninstallManifest(path, document_.get());
  if (load_error_ != tinyxml2::XML_SUCCESS) {
    LOG(ERROR) << "ErrorID = " << load_error_;
    return false;
  }
  root_ = document_->FirstChildElement("Uninstall");
  if (!root_) {
    LOG(ERROR) << "uninstall_root == NULL";
    return false;
  }
  const tinyxml2::XMLElement* version = root_->FirstChildElement("Version");
  const char* version_num = version ? version->Attribute("versionnum") : nullptr;
  if (!version_num) {
    LOG(ERROR) << "version_num_value == NULL";
    return false;
  }
  CheckManifestVersion(version_num);
  return true;
}

const tinyxml2::XMLElement* UninstallManifest::Section(const char* name) const {
  return root_ ? root_->FirstChildElement(name) : nullptr;
}

void UninstallManifest::ForEachModule(
    const std::function<void(const ManifestModule&)>& visit) const {
  const tinyxml2::XMLElement* section = Section("Regsvr");
  if (!section) return;
  for (const tinyxml2::XMLElement* entry = section->FirstChildElement("Moudle"); entry;
       entry = entry->NextSiblingElement()) {
    const char* type = entry->Attribute("type");
    if (!type) {
      DCHECK(type);
      LOG(ERROR) << "type == NULL";
      continue;
    }
    ManifestModule module;
    if (strcmp(type, "DLL") == 0) {
      module.type = ManifestModule::kDll;
    } else if (strcmp(type, "EXE") == 0) {
      module.type = ManifestModule::kExe;
    } else {
      continue;  // an unknown kind of module
    }
    const char* path = entry->Attribute("path");
    if (!path) {
      DCHECK(path);
      LOG(ERROR) << "path == NULL";
      continue;
    }
    module.path = path;
    if (module.type == ManifestModule::kExe) {
      if (EndsWithIgnoringCase(module.path, kSkippedUninstaller)) continue;
      const char* arg = entry->Attribute("uninstall_arg");
      if (!arg) {
        DCHECK(arg);
        LOG(ERROR) << "arg == NULL";
        continue;
      }
      module.uninstall_arg = arg;
    }
    visit(module);
  }
}

void UninstallManifest::ForEachKey(const std::function<void(const ManifestKey&)>& visit) const {
  const tinyxml2::XMLElement* section = Section("Registry");
  if (!section) return;
  for (const tinyxml2::XMLElement* entry = section->FirstChildElement("Key"); entry;
       entry = entry->NextSiblingElement()) {
    const char* root_key = entry->Attribute("rootkey");
    if (!root_key) {
      DCHECK(root_key);
      LOG(ERROR) << "root_key == NULL";
      continue;
    }
    ManifestKey key;
    key.root = FindRootKey(root_key);
    if (!key.root) {
      NOTREACHED();
      continue;
    }
    const char* sub_key = entry->Attribute("subkey");
    if (!sub_key) {
      DCHECK(sub_key);
      LOG(ERROR) << "sub_key == NULL";
      continue;
    }
    key.root_key_name = root_key;
    key.sub_key = sub_key;
    key.sub_key_wide = base::UTF8ToWide(key.sub_key);
    key.element = entry;
    visit(key);
  }
}

void UninstallManifest::ForEachValueName(
    const ManifestKey& key, const std::function<void(const std::wstring&)>& visit) const {
  if (!key.element) return;
  for (const tinyxml2::XMLElement* entry = key.element->FirstChildElement("Value"); entry;
       entry = entry->NextSiblingElement()) {
    const char* name = entry->Attribute("name");
    if (!name) {
      DCHECK(name);
      LOG(ERROR) << "name == NULL";
      continue;
    }
    // "@" names the key's default value, whose name is empty.
    visit(strcmp(name, "@") == 0 ? std::wstring() : base::UTF8ToWide(name));
  }
}

bool UninstallManifest::HasFiles() const { return Section("Files") != nullptr; }

namespace {

void ForEachPathOf(const tinyxml2::XMLElement* files, const char* element_name,
                   const std::function<void(const std::wstring&)>& visit) {
  if (!files) return;
  for (const tinyxml2::XMLElement* entry = files->FirstChildElement(element_name); entry;
       entry = entry->NextSiblingElement(element_name)) {
    const char* path_name = entry->Attribute("path");
    if (!path_name) {
      DCHECK(path_name);
      LOG(ERROR) << "path_name == NULL";
      continue;
    }
    visit(base::UTF8ToWide(path_name));
  }
}

}  // namespace

void UninstallManifest::ForEachFile(const std::function<void(const std::wstring&)>& visit) const {
  ForEachPathOf(Section("Files"), "File", visit);
}

void UninstallManifest::ForEachDir(const std::function<void(const std::wstring&)>& visit) const {
  ForEachPathOf(Section("Files"), "Dir", visit);
}

}  // namespace uninstall
