#include "TarnelSetup/util/process/device_path.h"

#include <windows.h>

#include <psapi.h>

#include <cwctype>
#include <string>

#include "gtest/gtest.h"

namespace {

// The device path of drive C: on this machine, e.g. \Device\HarddiskVolume1.
std::wstring DeviceOfC() {
  wchar_t device[MAX_PATH] = {};
  if (!QueryDosDeviceW(L"C:", device, MAX_PATH)) return std::wstring();
  return device;
}

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

enum class Prefix { kDeviceOfC, kDeviceOfCLowerCase, kNone };

struct Case {
  const char* name;
  Prefix prefix;
  const wchar_t* rest;
  const wchar_t* expected;  // empty: no drive matches
};

class DevicePathToDosPathTest : public testing::TestWithParam<Case> {};

TEST_P(DevicePathToDosPathTest, Converts) {
  const Case& c = GetParam();
  const std::wstring device = DeviceOfC();
  ASSERT_FALSE(device.empty()) << "QueryDosDeviceW(C:) failed, error " << GetLastError();
  std::wstring input;
  if (c.prefix == Prefix::kDeviceOfC) input = device;
  if (c.prefix == Prefix::kDeviceOfCLowerCase) input = Lower(device);
  input += c.rest;
  EXPECT_EQ(std::wstring(c.expected), setup::DevicePathToDosPath(input));
}

const Case kCases[] = {
    {"FileOnC", Prefix::kDeviceOfC, L"\\Program Files\\Kivo\\Kivo.exe",
     L"C:\\Program Files\\Kivo\\Kivo.exe"},
    {"CaseOfTheDeviceIgnored", Prefix::kDeviceOfCLowerCase, L"\\windows\\x.dll",
     L"C:\\windows\\x.dll"},
    {"TheVolumeItself", Prefix::kDeviceOfC, L"", L"C:\\"},
    {"TheVolumeRoot", Prefix::kDeviceOfC, L"\\", L"C:\\"},
    // A longer device name that merely starts like C:'s is another volume.
    {"LongerDeviceName", Prefix::kDeviceOfC, L"77\\x.exe", L""},
    {"UnknownDevice", Prefix::kNone, L"\\Device\\KivoNoSuchVolume\\x.exe", L""},
    {"AlreadyADrivePath", Prefix::kNone, L"C:\\windows\\x.dll", L""},
    {"Empty", Prefix::kNone, L"", L""},
};

INSTANTIATE_TEST_SUITE_P(Table, DevicePathToDosPathTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

// What K32GetProcessImageFileNameW reports for this very program converts
// back to the path the program was started from (here on the Z: drive).
TEST(DevicePathToDosPathRealTest, OwnImageConvertsBackToItsModulePath) {
  wchar_t image[MAX_PATH] = {};
  ASSERT_NE(0u, K32GetProcessImageFileNameW(GetCurrentProcess(), image, MAX_PATH))
      << "error " << GetLastError();
  wchar_t module[MAX_PATH] = {};
  ASSERT_NE(0u, GetModuleFileNameW(nullptr, module, MAX_PATH));
  EXPECT_EQ(Lower(module), Lower(setup::DevicePathToDosPath(image))) << "device form: " << image;
}

}  // namespace
