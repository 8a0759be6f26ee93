// The built kivo_uninstall.exe carries its task graph, manifest and version
// information as resources.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/test_paths.h"

namespace {

std::string ReadFile(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class ProductExe : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryExW(test_paths::kProductExe, nullptr,
                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(nullptr, module_) << "cannot load the product exe, error " << GetLastError();
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
  }
  std::string Resource(const wchar_t* type, int id) {
    HRSRC info = FindResourceW(module_, MAKEINTRESOURCEW(id), type);
    if (!info) return std::string();
    HGLOBAL data = LoadResource(module_, info);
    const char* bytes = static_cast<const char*>(LockResource(data));
    return std::string(bytes, SizeofResource(module_, info));
  }
  HMODULE module_ = nullptr;
};

TEST_F(ProductExe, GraphResourceIsTheCheckedInDocument) {
  std::string graph = Resource(L"XML", 4000);
  std::string checked_in =
      ReadFile(std::wstring(test_paths::kSourceDir) + L"\\Uninstall\\res\\setup_task.xml");
  ASSERT_FALSE(checked_in.empty());
  EXPECT_EQ(checked_in, graph);
  EXPECT_EQ(nullptr, FindResourceW(module_, MAKEINTRESOURCEW(4001), L"XML"));

  // Plain ASCII with an XML 1.0 declaration, no byte-order mark, no params.
  EXPECT_EQ(0u, graph.rfind("<?xml version=\"1.0\"", 0));
  for (unsigned char c : graph) ASSERT_LT(c, 0x80);
  EXPECT_EQ(std::string::npos, graph.find("param="));
}

TEST_F(ProductExe, ManifestAsksForAdministratorAndPerMonitorAwareness) {
  std::string manifest = Resource(MAKEINTRESOURCEW(24), 1);
  ASSERT_FALSE(manifest.empty());
  EXPECT_NE(std::string::npos, manifest.find("level=\"requireAdministrator\""));
  EXPECT_NE(std::string::npos, manifest.find(">PerMonitor<"));
  EXPECT_NE(std::string::npos, manifest.find(">true/pm<"));
  // Windows 7 is the newest version declared: Vista and 7 only.
  EXPECT_NE(std::string::npos, manifest.find("{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"));
  const char* newer[] = {"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",   // 8
                         "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",   // 8.1
                         "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"};  // 10 and 11
  for (const char* id : newer) EXPECT_EQ(std::string::npos, manifest.find(id)) << id;
}

TEST_F(ProductExe, IsA32BitGuiProgram) {
  std::string image = ReadFile(test_paths::kProductExe);
  ASSERT_GT(image.size(), 0x200u);
  auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
  ASSERT_EQ(IMAGE_DOS_SIGNATURE, dos->e_magic);
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(image.data() + dos->e_lfanew);
  EXPECT_EQ(IMAGE_FILE_MACHINE_I386, nt->FileHeader.Machine);
  EXPECT_EQ(IMAGE_NT_OPTIONAL_HDR32_MAGIC, nt->OptionalHeader.Magic);
  EXPECT_EQ(IMAGE_SUBSYSTEM_WINDOWS_GUI, nt->OptionalHeader.Subsystem);
}

// Names of the DLLs in the import table (and the delay-load table) of a PE32 image.
std::vector<std::string> ImportedDlls(const std::string& image) {
  std::vector<std::string> names;
  auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(image.data() + dos->e_lfanew);
  auto sections = IMAGE_FIRST_SECTION(nt);
  auto to_offset = [&](DWORD rva) -> size_t {
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
      const IMAGE_SECTION_HEADER& s = sections[i];
      if (rva >= s.VirtualAddress && rva < s.VirtualAddress + s.SizeOfRawData)
        return rva - s.VirtualAddress + s.PointerToRawData;
    }
    return 0;
  };
  auto name_at = [&](DWORD rva) {
    size_t offset = to_offset(rva);
    return offset ? std::string(image.c_str() + offset) : std::string("?");
  };
  const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imports.VirtualAddress) {
    auto desc = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(image.data() +
                                                                to_offset(imports.VirtualAddress));
    for (; desc->Name; ++desc) names.push_back(name_at(desc->Name));
  }
  const IMAGE_DATA_DIRECTORY& delayed =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT];
  if (delayed.VirtualAddress) {
    auto desc = reinterpret_cast<const IMAGE_DELAYLOAD_DESCRIPTOR*>(
        image.data() + to_offset(delayed.VirtualAddress));
    for (; desc->DllNameRVA; ++desc) names.push_back("delay:" + name_at(desc->DllNameRVA));
  }
  return names;
}

// The worker runs elevated from a user-writable folder: every DLL it imports
// must be one that Windows only ever loads from the system folder.
TEST(ProductExeImports, NameOnlyKnownDlls) {
  const char* known[] = {"kernel32.dll", "user32.dll",   "gdi32.dll",  "advapi32.dll",
                         "shell32.dll",  "shlwapi.dll",  "ole32.dll",  "oleaut32.dll",
                         "ws2_32.dll",   "psapi.dll",    "msvcrt.dll", "ntdll.dll"};
  std::vector<std::string> dlls = ImportedDlls(ReadFile(test_paths::kProductExe));
  ASSERT_FALSE(dlls.empty());
  for (std::string dll : dlls) {
    for (char& c : dll) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    bool ok = false;
    for (const char* k : known) ok = ok || dll == k;
    EXPECT_TRUE(ok) << "imports " << dll;
  }
}

TEST(ProductExeVersion, NamesTheMakerAndTheProgram) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(test_paths::kProductExe, &ignored);
  ASSERT_GT(size, 0u);
  std::vector<char> data(size);
  ASSERT_TRUE(GetFileVersionInfoW(test_paths::kProductExe, 0, size, data.data()));
  auto value = [&data](const wchar_t* name) {
    std::wstring key = std::wstring(L"\\StringFileInfo\\080404b0\\") + name;
    wchar_t* text = nullptr;
    UINT len = 0;
    if (!VerQueryValueW(data.data(), key.c_str(), reinterpret_cast<void**>(&text), &len))
      return std::wstring();
    return std::wstring(text);
  };
  EXPECT_EQ(L"Norvane", value(L"CompanyName"));
  EXPECT_EQ(L"Kivo uninstaller", value(L"FileDescription"));
  EXPECT_EQ(L"kivo_uninstall.exe", value(L"OriginalFilename"));
}

}  // namespace
