// Linked only into test builds of the uninstaller (see Uninstall/CMakeLists.txt),
// never into the product: points the result report at a server of the test,
// named by the environment variable
//   KIVO_TEST_REPORT_SERVER=<host name>,<fallback address>,<port>
// e.g. "kivo-report-test.invalid,127.0.0.1,50123". Without the variable the
// report goes where the product's sends it.
#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include "UninstallCustomAction/task/uninstall_upload_result.h"

namespace {

bool PointReportsAtTestServer() {
  char value[512] = {};
  const DWORD length = GetEnvironmentVariableA("KIVO_TEST_REPORT_SERVER", value, sizeof(value));
  if (length == 0 || length >= sizeof(value)) return false;
  char* fallback = strchr(value, ',');
  if (!fallback) return false;
  *fallback++ = '\0';
  char* port = strchr(fallback, ',');
  if (!port) return false;
  *port++ = '\0';
  const unsigned long port_number = strtoul(port, nullptr, 10);
  if (port_number == 0 || port_number > 65535) return false;
  // Copied by the setter, so the buffer may go.
  uninstall::UninstallUploadResult::SetReportServerForTesting(
      {value, fallback, static_cast<unsigned short>(port_number), 5000});
  return true;
}

// Before the program's entry, so before any task runs.
[[maybe_unused]] const bool g_report_server_pointed = PointReportsAtTestServer();

}  // namespace
