#include "tests/support/shortcut_for_test.h"

#include <windows.h>

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "base/scoped_com_ptr.h"

namespace {

HRESULT SaveShortcut(IShellLinkW* link, const std::wstring& path) {
  base::ScopedComPtr<IPersistFile> file;
  HRESULT hr = link->QueryInterface(IID_IPersistFile, file.ReceiveVoid());
  if (FAILED(hr)) return hr;
  return file->Save(path.c_str(), TRUE);
}

}  // namespace

HRESULT MakeShortcut(const std::wstring& link_path, const std::wstring& target) {
  base::ScopedComPtr<IShellLinkW> link;
  HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                link.ReceiveVoid());
  if (FAILED(hr)) return hr;
  hr = link->SetPath(target.c_str());
  if (FAILED(hr)) return hr;
  return SaveShortcut(link.get(), link_path);
}

HRESULT MakeShellFolderShortcut(const std::wstring& link_path, int csidl) {
  base::ScopedComPtr<IShellLinkW> link;
  HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                link.ReceiveVoid());
  if (FAILED(hr)) return hr;
  LPITEMIDLIST folder = nullptr;
  hr = SHGetSpecialFolderLocation(nullptr, csidl, &folder);
  if (FAILED(hr)) return hr;
  hr = link->SetIDList(folder);
  CoTaskMemFree(folder);
  if (FAILED(hr)) return hr;
  return SaveShortcut(link.get(), link_path);
}
