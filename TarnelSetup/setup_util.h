#ifndef TARNELSETUP_SETUP_UTIL_H_
#define TARNELSETUP_SETUP_UTIL_H_

#include <string>

namespace setup {

// Makes a new, empty folder (temporary folder)\kivo_setup_<n>, n from 0 to
// 32766, skipping names that exist; gives up after 50 tries. On success
// |out| names the folder.
bool MakeUniqueTempDir(std::wstring* out);

// Makes a new, empty folder named |prefix| followed by a number from 0 to
// 32766 directly in the temporary folder; gives up after 50 tries. On success
// |out| holds the folder's long-name form.
bool MakeTempDirWithPrefix(const std::wstring& prefix, std::wstring* out);

// Replaces every occurrence of |pattern| in |text|, in place, and returns
// how many were replaced. The search goes on after the inserted text, so a
// replacement that contains the pattern is never searched again. An empty
// pattern replaces nothing.
int ReplaceSubstrings(std::wstring* text, const std::wstring& pattern,
                      const std::wstring& replacement);

// The placeholder that message texts carry for the product's name.
extern const wchar_t kProductNamePlaceholder[];  // "[ProductName]"

// Readies a message box's texts: "[ProductName]" becomes |product_name| in
// both; then, in the body only, each two-character sequence backslash and
// "n" becomes a line feed.
void PrepareMessageTexts(const std::wstring& product_name, std::wstring* caption,
                         std::wstring* body);

// Chooses the removal temp folder of an uninstall: (base)\kivo_setup_<n>, n
// from 0 to 32766, a name nothing exists under; the base is the temporary
// folder when it lies on the same volume root as |install_dir|, otherwise
// |install_dir| itself. Gives up after 50 taken names. The folder is not
// created. On failure |folder| is left unchanged.
bool GetRemoveFileTempDir(const std::wstring& install_dir, std::wstring* folder);

// The name under which |path| is moved aside: (target folder)\~<stem>_<N><ext>
// with the smallest free N. The target folder is |aside_folder| when |path|
// has the same root (exactly), else the folder holding |path|. For a folder
// the stem is its whole name and there is no extension; a file's extension
// runs from its last "." (from the one before it for ".gz", ".z" or ".bz2"
// after a 1 to 4 character part, as in ".tar.gz"). False when |path| does not
// exist or no free name was found. |is_folder| tells whether |path| is a
// folder.
bool GetRenameTarget(const std::wstring& path, const std::wstring& aside_folder,
                     std::wstring* target, bool* is_folder);

}  // namespace setup

#endif  // TARNELSETUP_SETUP_UTIL_H_
