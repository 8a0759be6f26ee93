// The result report against a report server of the test's own, on the
// loopback interface only.
#include "UninstallCustomAction/task/uninstall_upload_result.h"

#include <windows.h>

#include <winsock2.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "TarnelSetup/setup_context.h"
#include "TarnelSetup/task_base.h"
#include "TarnelSetup/task_class_registry.h"
#include "base/at_exit.h"
#include "gtest/gtest.h"
#include "tests/support/log_capture.h"

namespace uninstall {
namespace {

typedef UninstallUploadResult Report;

// Accepts connections on one loopback address, records each request and
// answers it the same way. Stops by itself after kLifetimeMs at the latest.
class LoopbackReportServer {
 public:
  enum Answer {
    SEND_REPLY,    // reads the request, sends the reply bytes, closes
    SEND_NOTHING,  // reads the request, closes gracefully without a byte
    RESET,         // resets the connection as soon as it is accepted
    HOLD,          // reads the request, then waits for the client to close
  };
  static const DWORD kLifetimeMs = 20000;

  LoopbackReportServer() {
    WSADATA data;
    winsock_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  ~LoopbackReportServer() {
    Stop();
    if (listener_ != INVALID_SOCKET) closesocket(listener_);
    if (winsock_) WSACleanup();
  }

  // Listens on |address| ("127.0.0.1", "127.0.0.2") at a free port.
  bool Start(const char* address, Answer answer, const std::string& reply) {
    if (!winsock_) return false;
    answer_ = answer;
    reply_ = reply;
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener_ == INVALID_SOCKET) return false;
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = inet_addr(address);
    if (bind(listener_, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0 ||
        listen(listener_, 8) != 0) {
      return false;
    }
    int size = sizeof(local);
    if (getsockname(listener_, reinterpret_cast<sockaddr*>(&local), &size) != 0) return false;
    port_ = ntohs(local.sin_port);
    thread_ = std::thread(&LoopbackReportServer::Serve, this);
    return true;
  }

  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }

  unsigned short port() const { return port_; }

  // One entry per accepted connection, in order: the bytes received.
  std::vector<std::string> requests() {
    std::lock_guard<std::mutex> hold(lock_);
    return requests_;
  }

 private:
  // Waits up to |timeout_ms| until |s| can be read.
  static bool Readable(SOCKET s, long timeout_ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval wait = {timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    return select(0, &set, nullptr, nullptr, &wait) == 1;
  }

  void Serve() {
    const DWORD started = GetTickCount();
    while (!stop_ && GetTickCount() - started < kLifetimeMs) {
      if (!Readable(listener_, 50)) continue;
      SOCKET client = accept(listener_, nullptr, nullptr);
      if (client == INVALID_SOCKET) continue;
      if (answer_ == RESET) {
        Record(std::string());
        linger hard = {1, 0};
        setsockopt(client, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard),
                   sizeof(hard));
        closesocket(client);
        continue;
      }
      // The request ends with an empty line; the client then waits.
      std::string request;
      char buffer[1024];
      while (request.find("\r\n\r\n") == std::string::npos && Readable(client, 5000)) {
        const int got = recv(client, buffer, sizeof(buffer), 0);
        if (got <= 0) break;
        request.append(buffer, got);
      }
      Record(request);
      if (answer_ == HOLD) {
        const DWORD held = GetTickCount();
        while (!stop_ && GetTickCount() - held < 10000) {
          if (Readable(client, 50) && recv(client, buffer, sizeof(buffer), 0) <= 0) break;
        }
      }
      if (answer_ == SEND_REPLY && !reply_.empty()) {
        send(client, reply_.data(), static_cast<int>(reply_.size()), 0);
      }
      shutdown(client, SD_SEND);
      closesocket(client);
    }
  }

  void Record(const std::string& request) {
    std::lock_guard<std::mutex> hold(lock_);
    requests_.push_back(request);
  }

  bool winsock_ = false;
  SOCKET listener_ = INVALID_SOCKET;
  unsigned short port_ = 0;
  Answer answer_ = SEND_REPLY;
  std::string reply_;
  std::thread thread_;
  volatile bool stop_ = false;
  std::mutex lock_;
  std::vector<std::string> requests_;
};

// The Windows version as a program without a compatibility manifest sees
// it: systems after Windows 8 report 6.2 to such a program.
std::string ExpectedWindowsField() {
  typedef LONG(WINAPI * RtlGetVersionFunction)(OSVERSIONINFOW*);
  RtlGetVersionFunction rtl_get_version = reinterpret_cast<RtlGetVersionFunction>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion"));
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  if (!rtl_get_version || rtl_get_version(&info) != 0) return "?";
  DWORD number = info.dwMajorVersion * 100 + info.dwMinorVersion;
  if (number > 602) number = 602;
  return std::to_string(number);
}

// msi.dll's fixed file version, read through version.dll, up to the third
// number: "5.0.7601" for 5.0.7601.17514.
std::string ExpectedInstallerField() {
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  const std::wstring msi = std::wstring(system) + L"\\msi.dll";
  HMODULE version = LoadLibraryExW(L"version.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!version) return "?";
  typedef DWORD(WINAPI * SizeFunction)(LPCWSTR, LPDWORD);
  typedef BOOL(WINAPI * InfoFunction)(LPCWSTR, DWORD, DWORD, LPVOID);
  typedef BOOL(WINAPI * QueryFunction)(LPCVOID, LPCWSTR, LPVOID*, PUINT);
  SizeFunction get_size =
      reinterpret_cast<SizeFunction>(GetProcAddress(version, "GetFileVersionInfoSizeW"));
  InfoFunction get_info =
      reinterpret_cast<InfoFunction>(GetProcAddress(version, "GetFileVersionInfoW"));
  QueryFunction query = reinterpret_cast<QueryFunction>(GetProcAddress(version, "VerQueryValueW"));
  std::string field = "?";
  DWORD handle = 0;
  const DWORD size = get_size ? get_size(msi.c_str(), &handle) : 0;
  std::vector<unsigned char> block(size ? size : 1);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (size && get_info(msi.c_str(), 0, size, block.data()) &&
      query(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed) {
    field = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
            std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
            std::to_string(HIWORD(fixed->dwFileVersionLS));
  }
  FreeLibrary(version);
  return field;
}

std::string ExpectedRequest(const std::string& comm, const std::string& host) {
  return "GET  Upload_Data\r\n"
         "VERSION: 1 \r\n"
         "MODULE_ID: 607 \r\n"
         "COMM:" +
         comm +
         "\r\n"
         "User-Agent: Mozilla/4.0 (compatible; MSIE 5.00; Windows Xp)\r\n"
         "Host: " +
         host +
         ":443\r\n"
         "Cache-Control: no-cache\r\n"
         "\r\n";
}

// Runs the registered task as a graph would, on this thread.
void RunReportTask() {
  std::unique_ptr<task::TaskBase> report(
      task::TaskClassRegistry::Global().CreateTask("UninstallUploadResult"));
  ASSERT_TRUE(report) << "UninstallUploadResult is not registered";
  report->Run(nullptr);
}

class UninstallUploadResultTest : public testing::Test {
 protected:
  void SetUp() override {
    Report::ResetReportServerForTesting();
    SetupContext::GetInstance()->SetWString("UninstallReportVersion", L"9.9.9");
  }
  void TearDown() override { Report::ResetReportServerForTesting(); }

  // Reports go to |server|: the name does not resolve, so the fallback
  // address (the server's) is used.
  void PointAt(const LoopbackReportServer& server, const char* address) {
    Report::SetReportServerForTesting({"kivo-report-test.invalid", address, server.port(), 2000});
  }

  base::AtExitManager at_exit_;
};

TEST_F(UninstallUploadResultTest, SendsTheExactRequestAndStopsAtTheFirstAcceptedReply) {
  LogCapture capture;
  ASSERT_TRUE(capture.ok());
  LoopbackReportServer server;
  ASSERT_TRUE(server.Start("127.0.0.1", LoopbackReportServer::SEND_REPLY, "RESULT:1"));
  PointAt(server, "127.0.0.1");

  RunReportTask();

  const std::string comm =
      "9.9.9," + ExpectedWindowsField() + "," + ExpectedInstallerField() + ",0,6,1,2";
  EXPECT_EQ(std::vector<std::string>({ExpectedRequest(comm, "127.0.0.1")}), server.requests());
  EXPECT_TRUE(capture.Lines().empty());
}

TEST_F(UninstallUploadResultTest, DefaultPrefixIsWindows7WithAThreeNumberInstallerVersion) {
  // What the build's prefix is expected to be; the other tests derive their
  // expectations and do not depend on it.
  EXPECT_EQ(L"601", Report::GetWindowsVersionField());
  const std::wstring installer = Report::GetInstallerVersionField();
  EXPECT_EQ(2, std::count(installer.begin(), installer.end(), L'.')) << installer;
  EXPECT_EQ(std::string(installer.begin(), installer.end()), ExpectedInstallerField());
}

struct ReplyCase {
  const char* name;
  LoopbackReportServer::Answer answer;
  std::string reply;
  size_t attempts;
};

class ReplyTest : public UninstallUploadResultTest,
                  public testing::WithParamInterface<ReplyCase> {};

TEST_P(ReplyTest, OnlyTheVerdictOneEndsTheAttempts) {
  const ReplyCase& c = GetParam();
  LogCapture capture;
  ASSERT_TRUE(capture.ok());
  LoopbackReportServer server;
  ASSERT_TRUE(server.Start("127.0.0.1", c.answer, c.reply));
  PointAt(server, "127.0.0.1");

  RunReportTask();

  const std::vector<std::string> requests = server.requests();
  EXPECT_EQ(c.attempts, requests.size());
  if (c.answer != LoopbackReportServer::RESET) {
    // Every attempt sends the same request.
    for (const std::string& request : requests) EXPECT_EQ(requests[0], request);
  }
  EXPECT_TRUE(capture.Lines().empty());
  std::wstring version;
  SetupContext::GetInstance()->GetWString("UninstallReportVersion", &version);
  EXPECT_EQ(L"9.9.9", version);
}

const std::string kPadding(252, 'x');

INSTANTIATE_TEST_SUITE_P(
    Replies, ReplyTest,
    testing::Values(
        ReplyCase{"One", LoopbackReportServer::SEND_REPLY, "RESULT:1", 1},
        ReplyCase{"SpacesBeforeOne", LoopbackReportServer::SEND_REPLY, "RESULT:   1", 1},
        ReplyCase{"AfterOtherText", LoopbackReportServer::SEND_REPLY,
                  "HTTP/1.0 200 OK\r\n\r\nRESULT:1\r\n", 1},
        ReplyCase{"Zero", LoopbackReportServer::SEND_REPLY, "RESULT:0", 3},
        ReplyCase{"TabBeforeOne", LoopbackReportServer::SEND_REPLY, "RESULT:\t1", 3},
        ReplyCase{"NoTag", LoopbackReportServer::SEND_REPLY, "1", 3},
        ReplyCase{"TagWithoutVerdict", LoopbackReportServer::SEND_REPLY, "RESULT:   ", 3},
        // The reply is read into 260 bytes: a verdict at byte 260 is seen,
        // one at byte 261 is not.
        ReplyCase{"VerdictAtTheLastByteRead", LoopbackReportServer::SEND_REPLY,
                  kPadding + "RESULT:1", 1},
        ReplyCase{"VerdictBeyondTheBytesRead", LoopbackReportServer::SEND_REPLY,
                  kPadding + "xRESULT:1", 3},
        ReplyCase{"EmptyReply", LoopbackReportServer::SEND_NOTHING, "", 3},
        ReplyCase{"ConnectionReset", LoopbackReportServer::RESET, "", 3}),
    [](const testing::TestParamInfo<ReplyCase>& info) { return std::string(info.param.name); });

TEST_F(UninstallUploadResultTest, HostLineCarriesTheResolvedAddressOrTheFallback) {
  {
    SCOPED_TRACE("name resolves");
    LoopbackReportServer server;
    ASSERT_TRUE(server.Start("127.0.0.1", LoopbackReportServer::SEND_REPLY, "RESULT:1"));
    // The fallback would reach nothing: only the resolved address can work.
    Report::SetReportServerForTesting({"localhost", "192.0.2.1", server.port(), 2000});
    RunReportTask();
    const std::vector<std::string> requests = server.requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_NE(std::string::npos, requests[0].find("\r\nHost: 127.0.0.1:443\r\n")) << requests[0];
  }
  {
    SCOPED_TRACE("name does not resolve");
    Report::ResetReportServerForTesting();
    LoopbackReportServer server;
    ASSERT_TRUE(server.Start("127.0.0.2", LoopbackReportServer::SEND_REPLY, "RESULT:1"));
    PointAt(server, "127.0.0.2");
    RunReportTask();
    const std::vector<std::string> requests = server.requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_NE(std::string::npos, requests[0].find("\r\nHost: 127.0.0.2:443\r\n")) << requests[0];
  }
}

TEST_F(UninstallUploadResultTest, ResolvedAddressIsKeptAndAFailureIsRetriedLater) {
  Report::SetReportServerForTesting({"kivo-report-test.invalid", nullptr, 0, 0});
  EXPECT_EQ(0u, Report::ResolveReportServer());
  // Not cached: the next call resolves again.
  Report::SetReportServerForTesting({"localhost", nullptr, 0, 0});
  EXPECT_EQ(inet_addr("127.0.0.1"), Report::ResolveReportServer());
  // Kept for the process, whatever the name now gives.
  Report::SetReportServerForTesting({"kivo-report-test.invalid", nullptr, 0, 0});
  EXPECT_EQ(inet_addr("127.0.0.1"), Report::ResolveReportServer());
}

TEST_F(UninstallUploadResultTest, NoServerListeningEndsAfterThreeQuietAttempts) {
  LogCapture capture;
  ASSERT_TRUE(capture.ok());
  // A port that was just free: the connection is refused each time.
  unsigned short port = 0;
  {
    LoopbackReportServer probe;
    ASSERT_TRUE(probe.Start("127.0.0.1", LoopbackReportServer::SEND_REPLY, ""));
    port = probe.port();
  }
  Report::SetReportServerForTesting({"kivo-report-test.invalid", "127.0.0.1", port, 2000});
  EXPECT_FALSE(Report::SendReport("x", 1));
  RunReportTask();
  EXPECT_TRUE(capture.Lines().empty());
}

TEST_F(UninstallUploadResultTest, ServerThatNeverAnswersCostsOneTimeOutPerAttempt) {
  LoopbackReportServer server;
  ASSERT_TRUE(server.Start("127.0.0.1", LoopbackReportServer::HOLD, ""));
  Report::SetReportServerForTesting({"kivo-report-test.invalid", "127.0.0.1", server.port(), 500});
  const DWORD started = GetTickCount();
  RunReportTask();
  const DWORD elapsed = GetTickCount() - started;
  EXPECT_EQ(3u, server.requests().size());
  EXPECT_GE(elapsed, 1400u);
  EXPECT_LT(elapsed, 8000u);
}

TEST_F(UninstallUploadResultTest, LongFieldsAreBoundedAndTheRequestIsCutAt779Bytes) {
  const std::string field(259, '7');
  const std::string request = Report::FormatRequest(field, field, field, "192.0.2.75");
  ASSERT_EQ(779u, request.size());
  EXPECT_EQ(
      ExpectedRequest(field + "," + field + "," + field + ",0,6,1,2", "192.0.2.75").substr(0, 779),
      request);

  // A version that does not fit the field's 259 bytes is not sent cut.
  LoopbackReportServer server;
  ASSERT_TRUE(server.Start("127.0.0.1", LoopbackReportServer::SEND_REPLY, "RESULT:1"));
  PointAt(server, "127.0.0.1");
  SetupContext::GetInstance()->SetWString("UninstallReportVersion", std::wstring(260, L'9'));
  RunReportTask();
  SetupContext::GetInstance()->SetWString("UninstallReportVersion", std::wstring(259, L'9'));
  RunReportTask();
  const std::vector<std::string> requests = server.requests();
  ASSERT_EQ(2u, requests.size());
  EXPECT_NE(std::string::npos, requests[0].find("\r\nCOMM:," + ExpectedWindowsField() + ","));
  EXPECT_NE(std::string::npos, requests[1].find("\r\nCOMM:" + std::string(259, '9') + ","));
}

TEST(UninstallUploadResultVersionTest, InstallerVersionIsCutBeforeTheThirdDot) {
  const struct {
    const wchar_t* file_version;
    const wchar_t* field;
  } cases[] = {
      {L"5.0.7601.17514", L"5.0.7601"},
      {L"5.0.19041.1", L"5.0.19041"},
      {L"1.2.3.4.5", L"1.2.3"},
      {L"5.0.7601", L""},
      {L"5", L""},
      {L"", L""},
      {L"...", L".."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "version " << testing::PrintToString(c.file_version));
    EXPECT_EQ(std::wstring(c.field), Report::CutBeforeThirdDot(c.file_version));
  }
}

}  // namespace
}  // namespace uninstall
