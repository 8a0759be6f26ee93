// A stand-in for the shell's Start-menu pin list (CLSID_StartMenuPin), which
// Wine does not provide. Registered as the in-process server of that class in
// a test prefix, it records every RemoveFromList call as one JSON line
// {"remove":"<file-system path of the item>"} in %KIVO_PIN_LOG%, or else in
// <this DLL's path>.calls.txt. Any program may also load it just to keep a
// DLL in use.
#include <windows.h>

#include <objbase.h>
#include <shobjidl.h>

#include <string>

#include "tests/tools/tool_common.h"

namespace {

// {A2A9545D-A0C2-42B4-9708-A0B2BADD77C8}
const CLSID kClsidStartMenuPin = {
    0xA2A9545D, 0xA0C2, 0x42B4, {0x97, 0x08, 0xA0, 0xB2, 0xBA, 0xDD, 0x77, 0xC8}};
// {4CD19ADA-25A5-4A32-B3B7-347BEE5BE36B}
const IID kIidStartMenuPinnedList = {
    0x4CD19ADA, 0x25A5, 0x4A32, {0xB3, 0xB7, 0x34, 0x7B, 0xEE, 0x5B, 0xE3, 0x6B}};

HMODULE g_module = nullptr;
LONG g_objects = 0;
LONG g_locks = 0;

std::wstring LogPath() {
  std::wstring path = tool::ReadEnv(L"KIVO_PIN_LOG");
  if (!path.empty()) return path;
  wchar_t buf[MAX_PATH * 4];
  DWORD n = GetModuleFileNameW(g_module, buf, MAX_PATH * 4);
  return std::wstring(buf, n) + L".calls.txt";
}

// The interface as the shell declares it: IUnknown, then RemoveFromList.
// No virtual destructor: it would take the vtable slot of RemoveFromList.
class PinnedList final : public IUnknown {
 public:
  PinnedList() { InterlockedIncrement(&g_objects); }
  ~PinnedList() { InterlockedDecrement(&g_objects); }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, kIidStartMenuPinnedList)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG refs = InterlockedDecrement(&refs_);
    if (refs == 0) delete this;
    return refs;
  }
  virtual HRESULT STDMETHODCALLTYPE RemoveFromList(IShellItem* item) {
    std::wstring path;
    wchar_t* name = nullptr;
    if (item && SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &name)) && name) {
      path = name;
      CoTaskMemFree(name);
    }
    tool::AppendToFile(LogPath(), "{\"remove\":" + tool::JsonString(path) + "}\n");
    return S_OK;
  }

 private:
  LONG refs_ = 1;
};

class Factory : public IClassFactory {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
      *out = this;
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }  // Static object.
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (outer) return CLASS_E_NOAGGREGATION;
    PinnedList* list = new PinnedList();
    HRESULT hr = list->QueryInterface(iid, out);
    list->Release();
    return hr;
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    if (lock) {
      InterlockedIncrement(&g_locks);
    } else {
      InterlockedDecrement(&g_locks);
    }
    return S_OK;
  }
};

Factory g_factory;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!IsEqualCLSID(clsid, kClsidStartMenuPin)) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(iid, out);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return g_objects == 0 && g_locks == 0 ? S_OK : S_FALSE;
}
