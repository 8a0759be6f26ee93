#include <windows.h>

#include "base/logging.h"

// Entry of the uninstaller. The full run is wired up as the engine lands.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  LOG(INFO) << "kivo_uninstall started";
  return 0;
}
