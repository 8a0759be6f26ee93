#ifndef TARNELSETUP_UNINSTALL_UNINSTALL_MANIFEST_H_
#define TARNELSETUP_UNINSTALL_UNINSTALL_MANIFEST_H_

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

namespace tinyxml2 {
class XMLDocument;
class XMLElement;
}  // namespace tinyxml2

namespace uninstall {

// Where the manifest "Uninstall.xml" is taken from: "Uninstall.xml" in the
// install directory when anything exists there; else the backup
// (SetupTempPath)\"Uninstall"\(version)\"Uninstall.xml" when the product
// key's "version" value is set and that file exists; else the primary path
// anyway (its load then fails). The install directory is "PreviousInstallPath"
// normalised. |is_backup| tells whether the backup was chosen. Logs nothing.
void LocateUninstallManifest(std::wstring* path, bool* is_backup);

// Parses the file at |path| (opened "rb" through its UTF-16 name) into
// |document| with the parser's default settings. Returns the parser's error
// number, 0 on success; a file that cannot be opened gives 3
// (XML_ERROR_FILE_NOT_FOUND). Logs nothing.
int LoadUninstallManifest(const std::wstring& path, tinyxml2::XMLDocument* document);

// Replaces, in the UTF-8 |value|, every "$intallpath$" with
// |previous_install_path| (as stored, not normalised), then every "$common$"
// with |common_files|; each search resumes after the inserted text.
std::string ExpandPathMacros(const std::string& value, const std::string& previous_install_path,
                             const std::string& common_files);

// Checks a "versionnum" value: logs ERROR "version num invalid" unless it
// has exactly two "."-separated pieces, INFO "version num = <value>" when the
// two pieces are not 1 and 0. The version is reported, never enforced.
void CheckManifestVersion(const std::string& version_num);

// A "Moudle" entry that is to be acted on. EXE entries whose path ends in
// "diverurudav.exe" never reach the caller, nor do entries of other types.
struct ManifestModule {
  enum Type { kDll, kExe };
  Type type = kDll;
  std::string path;           // raw UTF-8, macros not expanded yet
  std::string uninstall_arg;  // EXE only; no macros
};

// A "Key" entry whose root key name is known.
struct ManifestKey {
  HKEY root = nullptr;
  std::string root_key_name;  // the "rootkey" text, as written
  std::string sub_key;        // UTF-8
  std::wstring sub_key_wide;
  const tinyxml2::XMLElement* element = nullptr;  // for ForEachValueName
};

// The loaded manifest. Its readers walk one section at a time, in document
// order, and log each skipped entry's ERROR line ("type == NULL",
// "path == NULL", "arg == NULL", "root_key == NULL", "sub_key == NULL",
// "name == NULL", "path_name == NULL") at the moment the walk reaches it, so
// the lines interleave with what the caller logs for the entries before it.
class UninstallManifest {
 public:
  UninstallManifest();
  ~UninstallManifest();

  // Loads |path| and checks the root and the version, in that order. False
  // when the task must stop: ERROR "ErrorID = <n>" on a load error, ERROR
  // "uninstall_root == NULL" without root, ERROR "version_num_value == NULL"
  // without Version or versionnum. The version check's own lines
  // (CheckManifestVersion) never make it fail.
  bool Open(const std::wstring& path);

  // Parser error number of the last Open (0 when it loaded).
  int load_error() const { return load_error_; }

  // The module entries of "Regsvr": the first "Moudle" child and every
  // following sibling element, whatever its name.
  void ForEachModule(const std::function<void(const ManifestModule&)>& visit) const;

  // The key entries of "Registry": the first "Key" child and every
  // following sibling element. A rootkey that is not in the table of root
  // names (compared case-sensitively) skips the entry silently.
  void ForEachKey(const std::function<void(const ManifestKey&)>& visit) const;

  // The value names of |key|: its first "Value" child and every following
  // sibling element. "@" is given as the empty name (the default value).
  void ForEachValueName(const ManifestKey& key,
                        const std::function<void(const std::wstring&)>& visit) const;

  // Whether the manifest has a "Files" element. Without one the task ends
  // before the File entries.
  bool HasFiles() const;

  // The "path" of every "File" child of "Files", in document order, as
  // UTF-16, used as written.
  void ForEachFile(const std::function<void(const std::wstring&)>& visit) const;

  // The same for the "Dir" children of "Files".
  void ForEachDir(const std::function<void(const std::wstring&)>& visit) const;

 private:
  const tinyxml2::XMLElement* Section(const char* name) const;

  std::unique_ptr<tinyxml2::XMLDocument> document_;
  const tinyxml2::XMLElement* root_ = nullptr;
  int load_error_ = 0;

  UninstallManifest(const UninstallManifest&) = delete;
  UninstallManifest& operator=(const UninstallManifest&) = delete;
};

}  // namespace uninstall

#endif  // TARNELSETUP_UNINSTALL_UNINSTALL_MANIFEST_H_
