#ifndef TESTS_SUPPORT_SHORTCUT_FOR_TEST_H_
#define TESTS_SUPPORT_SHORTCUT_FOR_TEST_H_

#include <windows.h>

#include <string>

// Saves a shortcut file at |link| whose target is |target|, through
// IShellLinkW and IPersistFile, as the shell does when it pins a program.
// COM must be initialised on the calling thread.
HRESULT MakeShortcut(const std::wstring& link, const std::wstring& target);

// Saves a shortcut to the shell folder |csidl| (CSIDL_DRIVES, ...), which has
// no file-system path.
HRESULT MakeShellFolderShortcut(const std::wstring& link, int csidl);

#endif  // TESTS_SUPPORT_SHORTCUT_FOR_TEST_H_
