#include "UninstallCustomAction/task/uninstall_upload_result.h"

#include <windows.h>

#include <shlobj.h>
#include <shlwapi.h>
#include <stdio.h>
#include <string.h>
#include <winsock2.h>

#include <atomic>
#include <string>

#include "TarnelSetup/setup_context.h"
#include "TarnelSetup/task_class_registry.h"

REGISTER_TASK_CLASS(uninstall::UninstallUploadResult, "UninstallUploadResult");

namespace uninstall {

namespace {

const char kReportVersionKey[] = "UninstallReportVersion";

// Sent byte for byte after the substitutions: two spaces after GET, no
// protocol version, a space before the ends of the VERSION and MODULE_ID
// lines.
const char kRequestFormat[] =
    "GET  Upload_Data\r\n"
    "VERSION: 1 \r\n"
    "MODULE_ID: 607 \r\n"
    "COMM:%s,%s,%s,%s,%lu,%lu,%lu\r\n"
    "User-Agent: Mozilla/4.0 (compatible; MSIE 5.00; Windows Xp)\r\n"
    "Host: %s:%d\r\n"
    "Cache-Control: no-cache\r\n"
    "\r\n";
const char kReplyVerdictTag[] = "RESULT:";

// msi.dll's file-version query (MsiGetFileVersionW) by its ordinal.
const WORD kMsiGetFileVersionOrdinal = 195;
typedef UINT(WINAPI* MsiGetFileVersionFunction)(LPCWSTR path, LPWSTR version_buffer,
                                                LPDWORD version_size, LPWSTR language_buffer,
                                                LPDWORD language_size);

// Longest ANSI text of one field, without its terminator.
const int kMaxFieldBytes = 259;
// Holds the dotted form of an IPv4 address.
const int kHostTextSize = 64;

// Where reports go. Constant-initialised, so that a test build may replace
// it from a static initialiser of its own; a test's texts live in the
// buffers below.
struct ReportServer {
  const char* host_name;
  const char* fallback_address;
  unsigned short port;
  DWORD socket_timeout_ms;
};

constexpr ReportServer kProgramReportServer = {
    UninstallUploadResult::kReportHostName, UninstallUploadResult::kFallbackAddress,
    UninstallUploadResult::kReportPort, UninstallUploadResult::kSocketTimeoutMs};
ReportServer g_report_server = kProgramReportServer;
char g_host_name_for_testing[256];
char g_fallback_address_for_testing[kHostTextSize];

// The resolved address in network byte order; 0 until a resolution
// succeeded, never cleared afterwards (except by tests).
std::atomic<unsigned long> g_report_server_address(0);

class ScopedWinsock {
 public:
  ScopedWinsock() {
    WSADATA data;
    started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  ~ScopedWinsock() {
    if (started_) WSACleanup();
  }
  bool started() const { return started_; }

 private:
  bool started_ = false;

  ScopedWinsock(const ScopedWinsock&) = delete;
  ScopedWinsock& operator=(const ScopedWinsock&) = delete;
};

class ScopedSocket {
 public:
  explicit ScopedSocket(SOCKET socket) : socket_(socket) {}
  ~ScopedSocket() {
    if (socket_ != INVALID_SOCKET) closesocket(socket_);
  }
  SOCKET get() const { return socket_; }

 private:
  SOCKET socket_;

  ScopedSocket(const ScopedSocket&) = delete;
  ScopedSocket& operator=(const ScopedSocket&) = delete;
};

class ScopedLibrary {
 public:
  explicit ScopedLibrary(HMODULE module) : module_(module) {}
  ~ScopedLibrary() {
    if (module_) FreeLibrary(module_);
  }
  HMODULE get() const { return module_; }

 private:
  HMODULE module_;

  ScopedLibrary(const ScopedLibrary&) = delete;
  ScopedLibrary& operator=(const ScopedLibrary&) = delete;
};

void CopyBounded(char* out, size_t out_size, const char* text) {
  snprintf(out, out_size, "%s", text ? text : "");
}

// The dotted form of |address| (network byte order) into |out|.
void FormatAddress(unsigned long address, char (&out)[kHostTextSize]) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&address);
  snprintf(out, sizeof(out), "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
}

// The address that is used: the resolved one, else the fallback.
void FormatServerHost(char (&out)[kHostTextSize]) {
  const unsigned long address = UninstallUploadResult::ResolveReportServer();
  if (address != 0) {
    FormatAddress(address, out);
  } else {
    CopyBounded(out, sizeof(out), g_report_server.fallback_address);
  }
}

// |text| in the ANSI code page, at most kMaxFieldBytes bytes; empty when it
// does not convert whole.
std::string ToAnsiField(const std::wstring& text) {
  if (text.empty()) return std::string();
  char buffer[kMaxFieldBytes + 1] = {};
  const int written = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                          buffer, kMaxFieldBytes, nullptr, nullptr);
  if (written <= 0) return std::string();
  return std::string(buffer, written);
}

// Whether the reply's verdict, the first character after "RESULT:" and the
// spaces after it, is "1". Only the |length| bytes received are looked at.
bool IsAcceptedReply(const char* reply, int length) {
  const std::string received(reply, length);
  size_t pos = received.find(kReplyVerdictTag);
  if (pos == std::string::npos) return false;
  pos += sizeof(kReplyVerdictTag) - 1;
  while (pos < received.size() && received[pos] == ' ') ++pos;
  return pos < received.size() && received[pos] == '1';
}

}  // namespace

const char UninstallUploadResult::kReportHostName[] = "report.kivo.norvane.invalid";
const char UninstallUploadResult::kFallbackAddress[] = "192.0.2.75";

void UninstallUploadResult::Run(task_object::RuntimeObject* /*object*/) {
  std::wstring report_version;
  SetupContext::GetInstance()->GetWString(kReportVersionKey, &report_version);

  const std::string version = ToAnsiField(report_version);
  const std::string windows = ToAnsiField(GetWindowsVersionField());
  const std::string installer = ToAnsiField(GetInstallerVersionField());

  char host_text[kHostTextSize] = {};
  FormatServerHost(host_text);
  const std::string request = FormatRequest(version, windows, installer, host_text);

  // Back to back, no pause; the outcome is not used.
  for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
    if (SendReport(request.data(), static_cast<int>(request.size()))) break;
  }
}

// static
unsigned long UninstallUploadResult::ResolveReportServer() {
  const unsigned long cached = g_report_server_address.load();
  if (cached != 0) return cached;

  ScopedWinsock winsock;
  if (!winsock.started()) return 0;
  const hostent* host = gethostbyname(g_report_server.host_name);
  if (host && host->h_addrtype == AF_INET && host->h_length == 4 && host->h_addr_list &&
      host->h_addr_list[0]) {
    unsigned long address = 0;
    memcpy(&address, host->h_addr_list[0], sizeof(address));
    g_report_server_address.store(address);
  }
  return g_report_server_address.load();
}

// static
bool UninstallUploadResult::SendReport(const char* request, int length) {
  ScopedWinsock winsock;
  if (!winsock.started()) return false;
  ScopedSocket connection(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (connection.get() == INVALID_SOCKET) return false;

  const DWORD timeout_ms = g_report_server.socket_timeout_ms;
  setsockopt(connection.get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout_ms),
             sizeof(timeout_ms));
  setsockopt(connection.get(), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout_ms),
             sizeof(timeout_ms));

  char host_text[kHostTextSize] = {};
  FormatServerHost(host_text);
  sockaddr_in server = {};
  server.sin_family = AF_INET;
  server.sin_addr.s_addr = inet_addr(host_text);
  server.sin_port = htons(g_report_server.port);
  if (server.sin_addr.s_addr == INADDR_NONE) return false;

  if (connect(connection.get(), reinterpret_cast<const sockaddr*>(&server), sizeof(server)) ==
      SOCKET_ERROR) {
    return false;
  }
  int sent = 0;
  while (sent < length) {
    const int count = send(connection.get(), request + sent, length - sent, 0);
    if (count == SOCKET_ERROR || count <= 0) return false;
    sent += count;
  }

  char reply[kReplyBufferSize] = {};
  const int received = recv(connection.get(), reply, sizeof(reply), 0);
  if (received <= 0) return false;
  return IsAcceptedReply(reply, received);
}

// static
std::wstring UninstallUploadResult::GetWindowsVersionField() {
  OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXW);
  OSVERSIONINFOW* plain = reinterpret_cast<OSVERSIONINFOW*>(&info);
  if (!GetVersionExW(plain)) {
    // Systems that know only the shorter record.
    info = OSVERSIONINFOEXW();
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
    if (!GetVersionExW(plain)) return std::wstring();
  }
  switch (info.dwPlatformId) {
    case VER_PLATFORM_WIN32s:
      return L"Windows 3.1";
    case VER_PLATFORM_WIN32_WINDOWS:
      return L"Windows 98 or 95";
    case VER_PLATFORM_WIN32_NT:
      return std::to_wstring(static_cast<int>(info.dwMajorVersion * 100 + info.dwMinorVersion));
    default:
      return std::wstring();
  }
}

// static
std::wstring UninstallUploadResult::GetInstallerVersionField() {
  wchar_t system_folder[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathW(nullptr, system_folder, CSIDL_SYSTEM, FALSE)) {
    return std::wstring();
  }
  std::wstring folder = system_folder;
  if (folder.empty() || folder.back() != L'\\') folder += L'\\';
  wchar_t msi_path[MAX_PATH] = {};
  wnsprintfW(msi_path, MAX_PATH, L"%smsi.dll", folder.c_str());

  // By its full path in the system folder: never a msi.dll from the
  // program's own folder or the current directory.
  ScopedLibrary msi(LoadLibraryExW(msi_path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
  if (!msi.get()) return std::wstring();
  const MsiGetFileVersionFunction get_file_version = reinterpret_cast<MsiGetFileVersionFunction>(
      GetProcAddress(msi.get(), MAKEINTRESOURCEA(kMsiGetFileVersionOrdinal)));
  if (!get_file_version) return std::wstring();

  wchar_t version[MAX_PATH] = {};
  DWORD version_size = MAX_PATH;
  if (get_file_version(msi_path, version, &version_size, nullptr, nullptr) != ERROR_SUCCESS) {
    return std::wstring();
  }
  version[MAX_PATH - 1] = L'\0';
  return CutBeforeThirdDot(version);
}

// static
std::wstring UninstallUploadResult::CutBeforeThirdDot(const std::wstring& file_version) {
  size_t pos = std::wstring::npos;
  for (int dot = 0; dot < 3; ++dot) {
    pos = file_version.find(L'.', pos == std::wstring::npos ? 0 : pos + 1);
    if (pos == std::wstring::npos) return std::wstring();
  }
  return file_version.substr(0, pos);
}

// static
std::string UninstallUploadResult::FormatRequest(const std::string& version,
                                                 const std::string& windows,
                                                 const std::string& installer,
                                                 const std::string& host_text) {
  char request[kMaxRequestLength + 1] = {};
  const int length = snprintf(request, sizeof(request), kRequestFormat, version.c_str(),
                              windows.c_str(), installer.c_str(), "0", 6UL, 1UL, 2UL,
                              host_text.c_str(), static_cast<int>(kReportPort));
  if (length < 0) return std::string();
  return std::string(request, length < kMaxRequestLength ? length : kMaxRequestLength);
}

// static
void UninstallUploadResult::SetReportServerForTesting(const ReportServerForTesting& server) {
  g_report_server = kProgramReportServer;
  if (server.host_name) {
    CopyBounded(g_host_name_for_testing, sizeof(g_host_name_for_testing), server.host_name);
    g_report_server.host_name = g_host_name_for_testing;
  }
  if (server.fallback_address) {
    CopyBounded(g_fallback_address_for_testing, sizeof(g_fallback_address_for_testing),
                server.fallback_address);
    g_report_server.fallback_address = g_fallback_address_for_testing;
  }
  if (server.port) g_report_server.port = server.port;
  if (server.socket_timeout_ms) g_report_server.socket_timeout_ms = server.socket_timeout_ms;
}

// static
void UninstallUploadResult::ResetReportServerForTesting() {
  g_report_server = kProgramReportServer;
  g_report_server_address.store(0);
}

}  // namespace uninstall
