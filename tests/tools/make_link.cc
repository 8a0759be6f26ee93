// Makes or reads a shell link (.lnk) with IShellLinkW.
//
//   make_link.exe LNK TARGET [--args TEXT] [--workdir DIR] [--description TEXT]
//   make_link.exe --read LNK     prints the target path (UTF-8)
//   make_link.exe --unpin LNK    asks the Start-menu pin list to remove LNK,
//                                as the shell's unpin does
//
// Exit code 0 on success, 1 on failure (the HRESULT goes to stderr).
#include <windows.h>

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>

#include "tests/tools/tool_common.h"

// Declared outside the anonymous namespace on purpose: GCC turns a call of a
// pure virtual method of a class that nothing in this file can implement into
// a call of address 0.
struct StartMenuPinnedList : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE RemoveFromList(IShellItem* item) = 0;
};

namespace {

// {A2A9545D-A0C2-42B4-9708-A0B2BADD77C8}
const CLSID kClsidStartMenuPin = {
    0xA2A9545D, 0xA0C2, 0x42B4, {0x97, 0x08, 0xA0, 0xB2, 0xBA, 0xDD, 0x77, 0xC8}};
// {4CD19ADA-25A5-4A32-B3B7-347BEE5BE36B}
const IID kIidStartMenuPinnedList = {
    0x4CD19ADA, 0x25A5, 0x4A32, {0xB3, 0xB7, 0x34, 0x7B, 0xEE, 0x5B, 0xE3, 0x6B}};

template <typename T>
class ComPtr {
 public:
  ~ComPtr() {
    if (ptr_) ptr_->Release();
  }
  T* operator->() const { return ptr_; }
  T* get() const { return ptr_; }
  T** Receive() { return &ptr_; }
  void** ReceiveVoid() { return reinterpret_cast<void**>(&ptr_); }

 private:
  T* ptr_ = nullptr;
};

int Fail(const wchar_t* what, HRESULT hr) {
  wchar_t buf[32];
  wsprintfW(buf, L"0x%08lx", static_cast<unsigned long>(hr));
  tool::Complain(std::wstring(what) + L" failed: " + buf);
  return 1;
}

int Unpin(const wchar_t* lnk) {
  ComPtr<IShellItem> item;
  HRESULT hr = SHCreateItemFromParsingName(lnk, nullptr, IID_IShellItem, item.ReceiveVoid());
  if (FAILED(hr)) return Fail(L"SHCreateItemFromParsingName", hr);
  ComPtr<StartMenuPinnedList> list;
  hr = CoCreateInstance(kClsidStartMenuPin, nullptr, CLSCTX_INPROC_SERVER, kIidStartMenuPinnedList,
                        list.ReceiveVoid());
  if (FAILED(hr)) return Fail(L"CoCreateInstance(CLSID_StartMenuPin)", hr);
  hr = list->RemoveFromList(item.get());
  if (FAILED(hr)) return Fail(L"RemoveFromList", hr);
  return 0;
}

int Run(int argc, wchar_t** argv) {
  if (argc == 3 && std::wstring(argv[1]) == L"--unpin") return Unpin(argv[2]);
  bool read = argc == 3 && std::wstring(argv[1]) == L"--read";
  if (!read && argc < 3) {
    tool::Complain(
        L"usage: make_link.exe LNK TARGET [--args TEXT] [--workdir DIR] "
        L"[--description TEXT] | --read LNK | --unpin LNK");
    return 64;
  }
  ComPtr<IShellLinkW> link;
  HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                link.ReceiveVoid());
  if (FAILED(hr)) return Fail(L"CoCreateInstance(CLSID_ShellLink)", hr);
  ComPtr<IPersistFile> file;
  hr = link->QueryInterface(IID_IPersistFile, file.ReceiveVoid());
  if (FAILED(hr)) return Fail(L"QueryInterface(IPersistFile)", hr);

  if (read) {
    hr = file->Load(argv[2], STGM_READ);
    if (FAILED(hr)) return Fail(L"IPersistFile::Load", hr);
    wchar_t target[MAX_PATH * 4] = L"";
    hr = link->GetPath(target, MAX_PATH * 4, nullptr, SLGP_UNCPRIORITY);
    if (FAILED(hr)) return Fail(L"IShellLinkW::GetPath", hr);
    std::string out = tool::ToUtf8(target) + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), out.data(), static_cast<DWORD>(out.size()), &written,
              nullptr);
    return 0;
  }

  hr = link->SetPath(argv[2]);
  if (FAILED(hr)) return Fail(L"IShellLinkW::SetPath", hr);
  for (int i = 3; i + 1 < argc; i += 2) {
    std::wstring arg = argv[i];
    if (arg == L"--args") {
      hr = link->SetArguments(argv[i + 1]);
    } else if (arg == L"--workdir") {
      hr = link->SetWorkingDirectory(argv[i + 1]);
    } else if (arg == L"--description") {
      hr = link->SetDescription(argv[i + 1]);
    } else {
      tool::Complain(L"make_link.exe: unknown option " + arg);
      return 64;
    }
    if (FAILED(hr)) return Fail(arg.c_str(), hr);
  }
  hr = file->Save(argv[1], TRUE);
  if (FAILED(hr)) return Fail(L"IPersistFile::Save", hr);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  int result = Run(argc, argv);
  if (SUCCEEDED(hr)) CoUninitialize();
  return result;
}
