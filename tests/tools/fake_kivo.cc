// Stands for the product's main program "Kivo.exe": it only runs until it is
// killed, or for --seconds N. Its version information (fake_kivo.rc) names
// the company "Norvane"; set_company.exe rewrites or removes it in a copy.
#include <windows.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
  DWORD seconds = INFINITE;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::wstring(argv[i]) == L"--seconds") seconds = wcstoul(argv[++i], nullptr, 10);
  }
  if (seconds == INFINITE) {
    for (;;) Sleep(INFINITE);
  }
  Sleep(seconds * 1000);
  return 0;
}
