#ifndef UNINSTALLCUSTOMACTION_TASK_UNINSTALL_UPLOAD_RESULT_H_
#define UNINSTALLCUSTOMACTION_TASK_UNINSTALL_UPLOAD_RESULT_H_

#include <windows.h>

#include <string>

#include "TarnelSetup/task_base.h"

namespace uninstall {

// Tells the maker's report server that an uninstall took place: one plain
// text request over TCP with the reported version ("UninstallReportVersion"),
// the Windows version and the Windows Installer version, sent up to three
// times until the server answers "RESULT:1". Logs nothing and writes nothing
// into the setup context; the outcome is not used.
class UninstallUploadResult : public task::TaskBase {
 public:
  // The report service. The name is resolved once per process; when it
  // cannot be, the fixed address is used.
  static const char kReportHostName[];
  static const char kFallbackAddress[];
  static const unsigned short kReportPort = 443;

  static const int kMaxAttempts = 3;
  // Longest request sent; longer ones are cut.
  static const int kMaxRequestLength = 779;
  // Bytes read of the reply.
  static const int kReplyBufferSize = 260;
  // A server that accepts but stops talking must not hold the uninstall.
  static const DWORD kSocketTimeoutMs = 30000;

  void Run(task_object::RuntimeObject* object) override;

  // The server's IPv4 address in network byte order, or 0 when its name
  // cannot be resolved. The first success is kept for the whole process.
  static unsigned long ResolveReportServer();

  // One attempt: connects, sends |length| bytes of |request| and reads the
  // reply once. True only when the reply carries the verdict "1".
  static bool SendReport(const char* request, int length);

  // "601" for Windows 7 (major * 100 + minor on NT), "Windows 98 or 95",
  // "Windows 3.1", or empty.
  static std::wstring GetWindowsVersionField();
  // The file version of the system's msi.dll up to its third dot
  // ("5.0.7601"); empty when it cannot be read or has fewer than three dots.
  static std::wstring GetInstallerVersionField();
  // |file_version| up to its third dot, or empty.
  static std::wstring CutBeforeThirdDot(const std::wstring& file_version);

  // The request for these (ANSI) fields and host text, at most
  // kMaxRequestLength bytes.
  static std::string FormatRequest(const std::string& version, const std::string& windows,
                                   const std::string& installer, const std::string& host_text);

  // Tests only: where reports go. Replaces the host name, the fallback
  // address, the port that is connected to (the request's Host line keeps
  // kReportPort) and the socket time-out; null or 0 members take the
  // program's own values. An address resolved before is kept, as it is for
  // the process; ResetReportServerForTesting restores everything and forgets
  // that address.
  struct ReportServerForTesting {
    const char* host_name;
    const char* fallback_address;
    unsigned short port;
    DWORD socket_timeout_ms;
  };
  static void SetReportServerForTesting(const ReportServerForTesting& server);
  static void ResetReportServerForTesting();
};

}  // namespace uninstall

#endif  // UNINSTALLCUSTOMACTION_TASK_UNINSTALL_UPLOAD_RESULT_H_
