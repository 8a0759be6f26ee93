#include "base/shortcut_util.h"

#include <windows.h>

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "base/scoped_com_ptr.h"

namespace base {

bool ResolveLinkTarget(std::wstring* path) {
  if (!path) return false;
  ScopedComPtr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              link.ReceiveVoid()))) {
    return false;
  }
  ScopedComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.ReceiveVoid()))) return false;
  if (FAILED(file->Load(path->c_str(), STGM_READ))) return false;
  if (FAILED(link->Resolve(nullptr, SLR_NO_UI))) return false;

  wchar_t target[MAX_PATH] = L"";
  // S_FALSE (no file-system target) leaves the buffer empty.
  if (FAILED(link->GetPath(target, MAX_PATH, nullptr, SLGP_UNCPRIORITY))) return false;
  target[MAX_PATH - 1] = L'\0';
  path->assign(target);
  return true;
}

}  // namespace base
