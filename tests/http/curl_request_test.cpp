#include "http/curl_request.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <limits>
#include <new>
#include <stdexcept>
#include <thread>

#include "http/manual_proxy.h"
#include "http_test_support.h"
#include "support/test_http_server.h"

namespace ombrix::http {
namespace {

using test::CollectingWriter;
using test::PatternContent;
using ombrix::test::Behavior;
using ombrix::test::TestHttpServer;
using ombrix::test::WaitUntil;

class CurlRequestTest : public ::testing::Test {
 protected:
  CurlRequestTest() {
    for (const char* path : {"/data", "/reset", "/closed", "/stall", "/late", "/slow"}) {
      server.SetContent(path, content);
    }
  }

  std::shared_ptr<CurlRequest> Make(const RequestOptions& options) {
    return std::make_shared<CurlRequest>(options, std::make_shared<EmptyProxy>());
  }
  RequestOptions Options(const std::string& path) { return RequestOptions(server.Url(path), writer); }

  const std::string content = PatternContent(64 * 1024);
  TestHttpServer server;
  CollectingWriter writer;
};

TEST_F(CurlRequestTest, RangeHeaderForms) {
  RequestOptions closed = Options("/data");
  closed.rangeFirst = 100;
  closed.rangeLast = 199;
  RequestResult result = Make(closed)->Perform();
  EXPECT_EQ(State::Complete, result.state);
  EXPECT_EQ(206, result.responseCode);
  EXPECT_EQ(100u, result.bytesReceived);
  EXPECT_TRUE(content.substr(100, 100) == writer.Body());

  RequestOptions openEnded = Options("/data");
  openEnded.rangeFirst = 100;
  CollectingWriter second;
  openEnded.writer = second;
  EXPECT_EQ(State::Complete, Make(openEnded)->Perform().state);
  EXPECT_TRUE(content.substr(100) == second.Body());

  RequestOptions fromZero = Options("/data");
  fromZero.rangeLast = 9;  // rangeFirst 0 with an explicit end is still a range
  CollectingWriter third;
  fromZero.writer = third;
  EXPECT_EQ(State::Complete, Make(fromZero)->Perform().state);
  EXPECT_TRUE(content.substr(0, 10) == third.Body());

  RequestOptions whole = Options("/data");
  whole.acceptEncoding = "gzip";
  CollectingWriter fourth;
  whole.writer = fourth;
  EXPECT_EQ(State::Complete, Make(whole)->Perform().state);
  EXPECT_TRUE(content == fourth.Body());

  RequestOptions rangeWins = Options("/data");
  rangeWins.rangeFirst = 5;
  rangeWins.acceptEncoding = "gzip";
  CollectingWriter fifth;
  rangeWins.writer = fifth;
  Make(rangeWins)->Perform();

  auto requests = server.RequestsFor("/data");
  ASSERT_EQ(5u, requests.size());
  EXPECT_EQ("bytes=100-199", requests[0].Header("Range"));
  EXPECT_EQ("bytes=100-18446744073709551615", requests[1].Header("Range"));
  EXPECT_EQ("bytes=0-9", requests[2].Header("Range"));
  EXPECT_EQ("", requests[3].Header("Range"));
  EXPECT_EQ("gzip", requests[3].Header("Accept-Encoding"));
  EXPECT_EQ("bytes=5-18446744073709551615", requests[4].Header("Range"));
  EXPECT_EQ("", requests[4].Header("Accept-Encoding"));
  for (const auto& request : requests) {
    EXPECT_EQ("Farrowgate Ombrix TransferService 1.3.5", request.Header("User-Agent"));
    EXPECT_EQ("GET", request.method);
  }
}

// A chunk must never receive bytes of another range: the answer is checked before
// its first byte reaches the writer.
TEST_F(CurlRequestTest, RangeAnswerIsCheckedBeforeTheFirstByte) {
  server.SetBehavior("/moved", Behavior{.redirectTo = server.Url("/data")});
  struct Case {
    const char* name;
    const char* path;
    Behavior behavior;
    std::uint64_t first, last;
    State state;
    std::size_t bodyFirst, bodyLength;  // of the content, when Complete
  };
  const Case cases[] = {
      {"206 as asked", "/data", {}, 100, 199, State::Complete, 100, 100},
      {"206 after a redirect", "/moved", {}, 100, 199, State::Complete, 100, 100},
      {"206 shorter than asked", "/data", {.sendRange = std::make_pair(100ull, 149ull)}, 100, 199,
       State::Complete, 100, 50},
      {"206 at another start", "/data", {.sendRange = std::make_pair(99ull, 199ull)}, 100, 199,
       State::RangeError, 0, 0},
      {"206 past the end", "/data", {.sendRange = std::make_pair(100ull, 200ull)}, 100, 199,
       State::RangeError, 0, 0},
      {"200 for a range", "/data", {.ignoreRange = true}, 100, 199, State::RangeError, 0, 0},
      {"200 for the first bytes", "/data", {.ignoreRange = true}, 0, 199, State::RangeError, 0, 0},
      {"200 for the whole file", "/data", {.ignoreRange = true}, 0, 65535, State::Complete, 0, 65536},
      {"200 for more than the file", "/data", {.ignoreRange = true}, 0, 65536, State::RangeError, 0, 0},
  };
  for (const Case& c : cases) {
    server.SetBehavior("/data", c.behavior);
    CollectingWriter collected;
    RequestOptions options(server.Url(c.path), collected);
    options.rangeFirst = c.first;
    options.rangeLast = c.last;
    RequestResult result = Make(options)->Perform();
    EXPECT_EQ(c.state, result.state) << c.name;
    EXPECT_TRUE(content.substr(c.bodyFirst, c.bodyLength) == collected.Body()) << c.name;
    EXPECT_EQ(c.bodyLength, result.bytesReceived) << c.name;
  }
}

TEST(CurlRequestRange, ContentRangeForms) {
  struct Case {
    long status;
    const char* contentRange;
    std::int64_t length;
    bool matches;
  };
  const Case cases[] = {
      {206, "bytes 100-199/1000", 100, true},  {206, "BYTES  100-199/*", -1, true},
      {206, " bytes 100-150/151 ", 51, true},  {206, "bytes 100-199/1000", 101, false},
      {206, "bytes 100-199/199", 100, false},  {206, "bytes=100-199/1000", 100, false},
      {206, "bytes 100-199", 100, false},      {206, "bytes 100-199/1000x", 100, false},
      {206, "bytes 199-100/1000", -1, false},  {206, "", 100, false},
      {206, "bytes 100-99999999999999999999999/*", -1, false},
      {200, "", 200, false},                   {200, "bytes 100-199/1000", 100, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.matches, CurlRequest::RangeAnswerMatches(c.status, c.contentRange, c.length, 100, 199))
        << c.status << " " << c.contentRange << " " << c.length;
  }
  EXPECT_TRUE(CurlRequest::RangeAnswerMatches(200, "", 200, 0, 199));
  EXPECT_FALSE(CurlRequest::RangeAnswerMatches(200, "", -1, 0, 199));  // length unknown
}

// An option libcurl refuses must fail the request, not leave a different one.
TEST_F(CurlRequestTest, RefusedOptionsFailWithoutAnExchange) {
  RequestOptions negative = Options("/data");
  negative.timeoutSeconds = -1;
  RequestResult refused = Make(negative)->Perform();
  EXPECT_EQ(State::BadRequest, refused.state);
  EXPECT_EQ("libcurl refused CURLOPT_TIMEOUT (libcurl error 43)", refused.errorSummary);
  EXPECT_EQ(0u, server.RequestCount("/data"));

  // Limits beyond libcurl's range (a huge chunk at a low expected rate) and any
  // receive buffer size are taken, shortened to what libcurl accepts.
  RequestOptions huge = Options("/data");
  huge.timeoutSeconds = 2396745;
  huge.connectTimeoutSeconds = std::numeric_limits<std::int32_t>::max();
  huge.receiveBufferBytes = std::numeric_limits<std::uint32_t>::max();
  EXPECT_EQ(State::Complete, Make(huge)->Perform().state);
  RequestOptions tiny = Options("/data");
  tiny.receiveBufferBytes = 1;
  CollectingWriter tinyWriter;
  tiny.writer = tinyWriter;
  EXPECT_EQ(State::Complete, Make(tiny)->Perform().state);
  EXPECT_TRUE(content == tinyWriter.Body());
}

TEST_F(CurlRequestTest, HttpFailuresSplitAtStatus500) {
  server.SetBehavior("/missing", Behavior{.status = 404});
  server.SetBehavior("/busy", Behavior{.status = 503});
  RequestResult missing = Make(Options("/missing"))->Perform();
  EXPECT_EQ(State::ClientError, missing.state);
  EXPECT_EQ(404, missing.responseCode);
  EXPECT_EQ("libcurl error 22 (HTTP 404)", missing.errorSummary);
  EXPECT_NE(std::string::npos, missing.errorDetails.find("404")) << missing.errorDetails;
  EXPECT_EQ("127.0.0.1", missing.ip);

  RequestResult busy = Make(Options("/busy"))->Perform();
  EXPECT_EQ(State::ServerError, busy.state);
  EXPECT_EQ("libcurl error 22 (HTTP 503)", busy.errorSummary);
}

TEST_F(CurlRequestTest, BrokenConnectionsAreNetworkOrRangeErrors) {
  server.SetBehavior("/reset", Behavior{.cutAfterBytes = 1000, .resetOnCut = true});
  RequestResult reset = Make(Options("/reset"))->Perform();
  EXPECT_EQ(State::NetworkError, reset.state) << reset.errorSummary << " " << reset.errorDetails;
  EXPECT_EQ("libcurl error 56 (HTTP 200)", reset.errorSummary);

  // A connection closed early in good order leaves the body short of its length.
  server.SetBehavior("/closed", Behavior{.cutAfterBytes = 1000});
  RequestResult closed = Make(Options("/closed"))->Perform();
  EXPECT_EQ(State::RangeError, closed.state);
  EXPECT_EQ("libcurl error 18 (HTTP 200)", closed.errorSummary);
}

TEST_F(CurlRequestTest, StallBelowLowSpeedLimitTimesOut) {
  server.SetBehavior("/stall", Behavior{.stallAfterBytes = 100});
  RequestOptions options = Options("/stall");
  options.lowSpeedLimit = 1000;
  options.lowSpeedTimeSeconds = 1;
  RequestResult result = Make(options)->Perform();
  EXPECT_EQ(State::TimedOut, result.state);
  EXPECT_EQ(100u, result.bytesReceived);
  EXPECT_EQ("libcurl error 28 (HTTP 200)", result.errorSummary);
}

TEST_F(CurlRequestTest, WholeRequestLimitTimesOutSlowHeaders) {
  server.SetBehavior("/late", Behavior{.headerDelay = std::chrono::seconds(20)});
  RequestOptions options = Options("/late");
  options.timeoutSeconds = 1;
  EXPECT_EQ(State::TimedOut, Make(options)->Perform().state);
}

TEST_F(CurlRequestTest, SlowBodyCompletes) {
  server.SetBehavior("/slow", Behavior{.slowChunkBytes = 4096, .slowChunkDelay = std::chrono::milliseconds(2)});
  RequestResult result = Make(Options("/slow"))->Perform();
  EXPECT_EQ(State::Complete, result.state);
  EXPECT_TRUE(content == writer.Body());
}

TEST_F(CurlRequestTest, CancelBeforePerformSkipsTheExchange) {
  auto request = Make(Options("/data"));
  request->Cancel();
  EXPECT_EQ(State::Cancelled, request->Perform().state);
  EXPECT_EQ(0u, server.RequestCount("/data"));
}

TEST_F(CurlRequestTest, CancelDuringPerformStopsTheTransfer) {
  server.SetBehavior("/stall", Behavior{.stallAfterBytes = 100});
  auto request = Make(Options("/stall"));
  RequestResult result;
  std::thread performer([&] { result = request->Perform(); });
  ASSERT_TRUE(writer.firstBytes.Wait());
  EXPECT_EQ(State::Running, request->GetResult().state);
  EXPECT_FALSE(request->Reset(Options("/data"), std::make_shared<EmptyProxy>()));
  request->Cancel();
  performer.join();
  EXPECT_EQ(State::Cancelled, result.state);
  EXPECT_EQ(100u, result.bytesReceived);
  EXPECT_EQ("", result.errorSummary);
  EXPECT_EQ(200, result.responseCode);
  request->Cancel();  // a finished request stays as it is
  EXPECT_EQ(State::Cancelled, request->GetResult().state);
}

// Holds the performing thread inside the body callback until released.
class BlockingWriter : public WriteCallback {
 public:
  RequestResult Write(const char*, std::size_t length) override {
    entered.Notify();
    release.Wait();
    RequestResult result;
    result.state = State::Complete;
    result.bytesReceived = length;
    return result;
  }
  ombrix::test::Signal entered, release;
};

// Cancelled but still inside libcurl: Reset must keep refusing until Perform has
// returned, or it would reconfigure a handle in the middle of its transfer.
TEST_F(CurlRequestTest, ResetRefusedWhileACancelledTransferUnwinds) {
  BlockingWriter blocking;
  auto request = Make(RequestOptions(server.Url("/data"), blocking));
  RequestResult result;
  std::thread performer([&] { result = request->Perform(); });
  ASSERT_TRUE(blocking.entered.Wait());
  request->Cancel();
  EXPECT_EQ(State::Cancelled, request->GetResult().state);
  EXPECT_FALSE(request->Reset(Options("/data"), std::make_shared<EmptyProxy>()));
  blocking.release.Notify();
  performer.join();
  EXPECT_EQ(State::Cancelled, result.state);
  ASSERT_TRUE(request->Reset(Options("/data"), std::make_shared<EmptyProxy>()));
  EXPECT_EQ(State::Complete, request->Perform().state);
  EXPECT_TRUE(content == writer.Body());
}

// No body has arrived yet, so only the progress callback can notice the cancel.
TEST_F(CurlRequestTest, CancelWhileWaitingForHeadersThenReuse) {
  server.SetBehavior("/late", Behavior{.headerDelay = std::chrono::seconds(60)});
  auto request = Make(Options("/late"));
  RequestResult result;
  std::thread performer([&] { result = request->Perform(); });
  ASSERT_TRUE(WaitUntil([&] { return server.RequestCount("/late") == 1; }));
  request->Cancel();
  performer.join();
  EXPECT_EQ(State::Cancelled, result.state);
  EXPECT_EQ("", result.errorSummary);

  CollectingWriter again;
  ASSERT_TRUE(request->Reset(RequestOptions(server.Url("/data"), again), std::make_shared<EmptyProxy>()));
  RequestResult second = request->Perform();
  EXPECT_EQ(State::Complete, second.state);
  EXPECT_EQ("", second.errorDetails);
  EXPECT_TRUE(content == again.Body());
}

TEST_F(CurlRequestTest, PerformRunsOnceUntilReset) {
  auto request = Make(Options("/data"));
  RequestResult first = request->Perform();
  ASSERT_EQ(State::Complete, first.state);
  EXPECT_EQ(first, request->Perform());
  EXPECT_EQ(1u, server.RequestCount("/data"));

  server.SetContent("/other", "other body");
  CollectingWriter other;
  ASSERT_TRUE(request->Reset(RequestOptions(server.Url("/other"), other), std::make_shared<EmptyProxy>()));
  EXPECT_EQ(State::Idle, request->GetResult().state);
  EXPECT_EQ(0u, request->GetResult().bytesReceived);
  RequestResult second = request->Perform();
  EXPECT_EQ(State::Complete, second.state);
  EXPECT_EQ(10u, second.bytesReceived);
  EXPECT_EQ("other body", other.Body());
}

TEST_F(CurlRequestTest, PostSendsBodyAndContentType) {
  RequestOptions options = Options("/events");
  options.method = RequestOptions::kPost;
  options.body = std::string("{\"a\":\"1\"}\0tail", 14);
  options.contentType = "application/json";
  EXPECT_EQ(State::Complete, Make(options)->Perform().state);

  RequestOptions form = Options("/events");
  form.method = RequestOptions::kPost;
  form.body = "x=1";
  Make(form)->Perform();

  auto posts = server.RequestsFor("/events");
  ASSERT_EQ(2u, posts.size());
  EXPECT_EQ("POST", posts[0].method);
  EXPECT_EQ(options.body, posts[0].body);
  EXPECT_EQ("application/json", posts[0].Header("Content-Type"));
  EXPECT_EQ("application/x-www-form-urlencoded", posts[1].Header("Content-Type"));
  EXPECT_EQ("x=1", posts[1].body);
}

class ShortWriter : public WriteCallback {
 public:
  RequestResult Write(const char*, std::size_t length) override {
    RequestResult result;
    result.state = State::Complete;  // claims success but keeps back a byte
    result.bytesReceived = length - 1;
    return result;
  }
};

class RefusingWriter : public WriteCallback {
 public:
  explicit RefusingWriter(State state) : state_(state) {}
  RequestResult Write(const char*, std::size_t) override {
    RequestResult result;
    result.state = state_;
    result.errorSummary = "disk says no";
    return result;
  }

 private:
  State state_;
};

class ThrowingWriter : public WriteCallback {
 public:
  explicit ThrowingWriter(bool allocation) : allocation_(allocation) {}
  RequestResult Write(const char*, std::size_t) override {
    if (allocation_) throw std::bad_alloc();
    throw std::runtime_error("writer broke its promise");
  }

 private:
  bool allocation_;
};

TEST_F(CurlRequestTest, WriterFailuresEndTheRequest) {
  ShortWriter shortWriter;
  RequestResult shortResult = Make(RequestOptions(server.Url("/data"), shortWriter))->Perform();
  EXPECT_EQ(State::WriteFailed, shortResult.state);
  EXPECT_EQ("libcurl error 23 (HTTP 200)", shortResult.errorSummary);

  RefusingWriter outOfMemory(State::OutOfMemory);
  RequestResult oom = Make(RequestOptions(server.Url("/data"), outOfMemory))->Perform();
  EXPECT_EQ(State::OutOfMemory, oom.state);
  EXPECT_EQ("disk says no", oom.errorSummary);
  EXPECT_EQ("", oom.errorDetails);

  RefusingWriter timedOut(State::TimedOut);  // any other state is a write failure
  RequestResult other = Make(RequestOptions(server.Url("/data"), timedOut))->Perform();
  EXPECT_EQ(State::WriteFailed, other.state);
  EXPECT_EQ("disk says no", other.errorSummary);

  // An exception must not unwind through libcurl: it fails the request like a
  // refusal, and the request stays usable.
  ThrowingWriter throwing(false);
  auto request = Make(RequestOptions(server.Url("/data"), throwing));
  RequestResult thrown = request->Perform();
  EXPECT_EQ(State::WriteFailed, thrown.state);
  EXPECT_EQ("writer broke its promise", thrown.errorSummary);
  EXPECT_EQ(0u, thrown.bytesReceived);
  EXPECT_TRUE(request->Reset(Options("/data"), std::make_shared<EmptyProxy>()));
  EXPECT_EQ(State::Complete, request->Perform().state);

  ThrowingWriter allocation(true);
  EXPECT_EQ(State::OutOfMemory, Make(RequestOptions(server.Url("/data"), allocation))->Perform().state);
}

TEST_F(CurlRequestTest, RedirectsOnlyOnceAndOnlyToHttp) {
  server.SetBehavior("/moved", Behavior{.redirectTo = server.Url("/data")});
  RequestResult moved = Make(Options("/moved"))->Perform();
  EXPECT_EQ(State::Complete, moved.state);
  EXPECT_TRUE(content == writer.Body());

  server.SetBehavior("/twice", Behavior{.redirectTo = server.Url("/moved")});
  EXPECT_EQ(State::OtherError, Make(Options("/twice"))->Perform().state);  // libcurl 47

  // The target would be this same loopback server, so nothing leaves the machine
  // even if the protocol were allowed.
  server.SetBehavior("/to-ftp", Behavior{.redirectTo = "ftp://127.0.0.1:" + std::to_string(server.Port()) + "/data"});
  // Sending the request elsewhere is the server's fault, and the same request object
  // works again afterwards (libcurl refused options on the reused handle).
  auto request = Make(Options("/to-ftp"));
  RequestResult ftp = request->Perform();
  EXPECT_EQ(State::SecurityError, ftp.state);
  EXPECT_EQ("libcurl error 1 (HTTP 302)", ftp.errorSummary);
  RequestOptions again = Options("/data");
  again.receiveBufferBytes = 65536;  // the option libcurl refused
  ASSERT_TRUE(request->Reset(again, nullptr));
  EXPECT_EQ(State::Complete, request->Perform().state);

  RequestOptions direct("ftp://127.0.0.1:" + std::to_string(server.Port()) + "/data", writer);
  EXPECT_EQ(State::BadRequest, Make(direct)->Perform().state);
  RequestOptions file("file:///etc/hostname", writer);
  EXPECT_EQ(State::BadRequest, Make(file)->Perform().state);
}

TEST_F(CurlRequestTest, ConnectionRefusedAndMalformedUrl) {
  // A port bound but not listening refuses connections, and nobody else (another
  // test running in parallel) can take it while the socket is held.
  const int held = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(held, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t addressLength = sizeof address;
  ASSERT_EQ(0, ::bind(held, reinterpret_cast<sockaddr*>(&address), sizeof address));
  ASSERT_EQ(0, ::getsockname(held, reinterpret_cast<sockaddr*>(&address), &addressLength));
  RequestOptions refused("http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/x", writer);
  RequestResult result = Make(refused)->Perform();
  ::close(held);
  EXPECT_EQ(State::ConnectFailed, result.state);
  EXPECT_EQ("libcurl error 7 (HTTP 0)", result.errorSummary);
  EXPECT_FALSE(result.errorDetails.empty());

  RequestOptions malformed("http://[::1", writer);
  EXPECT_EQ(State::BadRequest, Make(malformed)->Perform().state);
}

TEST_F(CurlRequestTest, TimingsAreCappedByTheTimeouts) {
  server.SetBehavior("/late", Behavior{.headerDelay = std::chrono::milliseconds(50)});
  RequestOptions zeroLimits = Options("/late");
  zeroLimits.connectTimeoutSeconds = 0;
  RequestResult capped = Make(zeroLimits)->Perform();
  EXPECT_EQ(State::Complete, capped.state);
  EXPECT_EQ(0u, capped.totalMs);
  EXPECT_EQ(0u, capped.startTransferMs);

  RequestResult measured = Make(Options("/late"))->Perform();
  EXPECT_GE(measured.totalMs, 50u);
  EXPECT_GE(measured.totalMs, measured.startTransferMs);
  EXPECT_GE(measured.startTransferMs, measured.connectMs);
}

class ThrowingProxy : public Proxy {
 public:
  std::string Describe() const override { return "broken"; }
  std::string GetProxyForUrl(const std::string&) const override { throw std::bad_alloc(); }
};

// A constructor that fails after the handle exists must release it (the leak
// checker of the sanitizer build reports it otherwise).
TEST(CurlRequestConstruction, FailureAfterTheHandleReleasesIt) {
  test::CollectingWriter writer;
  EXPECT_THROW(CurlRequest(RequestOptions("http://127.0.0.1/never-sent", writer), std::make_shared<ThrowingProxy>()),
               std::bad_alloc);
}

// A Reset whose configuration throws must not leave a half-configured request that
// Perform would run.
TEST(CurlRequestConstruction, ThrowingResetLeavesATerminalRequest) {
  ombrix::test::TestHttpServer server;
  server.SetContent("/data", "body");
  test::CollectingWriter writer;
  CurlRequest request(RequestOptions(server.Url("/data"), writer), std::make_shared<EmptyProxy>());
  EXPECT_THROW(request.Reset(RequestOptions(server.Url("/data"), writer), std::make_shared<ThrowingProxy>()),
               std::bad_alloc);
  RequestResult broken = request.Perform();
  EXPECT_EQ(State::OutOfMemory, broken.state);
  EXPECT_EQ("request configuration failed", broken.errorSummary);
  EXPECT_EQ(0u, server.RequestCount("/data"));

  ASSERT_TRUE(request.Reset(RequestOptions(server.Url("/data"), writer), std::make_shared<EmptyProxy>()));
  EXPECT_EQ(State::Complete, request.Perform().state);
  EXPECT_EQ("body", writer.Body());
}

TEST(CurlRequestTiming, ConversionAndCap) {
  EXPECT_EQ(0u, CurlRequest::TimingMs(-1.0, 5, 0));
  EXPECT_EQ(0u, CurlRequest::TimingMs(0.0, 5, 0));
  EXPECT_EQ(1234u, CurlRequest::TimingMs(1.2345, 5, 0));
  EXPECT_EQ(5000u, CurlRequest::TimingMs(9.0, 5, 0));
  EXPECT_EQ(35000u, CurlRequest::TimingMs(100.0, 5, 30));
  EXPECT_EQ(35000u, CurlRequest::TimingMs(100.0, 30, 5));
  EXPECT_EQ(0u, CurlRequest::TimingMs(3.0, 0, 0));
  EXPECT_EQ(30000u, CurlRequest::TimingMs(100.0, -1, 30));  // a negative partner adds nothing
  EXPECT_EQ(604800000u, CurlRequest::TimingMs(1e6, -1, -2));  // seven days
  EXPECT_EQ(4294967295u, CurlRequest::TimingMs(1e9, 2147483647, 2147483647));
  EXPECT_EQ(4294967295u, CurlRequest::TimingMs(5e6, 5000000, 0));
}

TEST(RequestStateMapping, LibcurlResults) {
  struct Case {
    int code;
    std::int32_t http;
    State state;
  };
  const Case cases[] = {
      {0, 200, State::Complete},       {1, 0, State::BadRequest},      {3, 0, State::BadRequest},
      {4, 0, State::BadRequest},       {5, 0, State::ResolveFailed},   {6, 0, State::ResolveFailed},
      {7, 0, State::ConnectFailed},    {9, 499, State::ClientError},   {22, 404, State::ClientError},
      {78, 500, State::ServerError},   {22, 503, State::ServerError},  {22, 0, State::ClientError},
      {55, 0, State::NetworkError},    {56, 200, State::NetworkError}, {23, 200, State::WriteFailed},
      {18, 206, State::RangeError},    {33, 0, State::RangeError},     {28, 0, State::TimedOut},
      {27, 0, State::OutOfMemory},     {2, 0, State::OtherError},      {42, 0, State::OtherError},
      {47, 302, State::OtherError},    {35, 0, State::SecurityError},  {51, 0, State::SecurityError},
      {53, 0, State::SecurityError},   {54, 0, State::SecurityError},  {58, 0, State::SecurityError},
      {59, 0, State::SecurityError},   {60, 0, State::SecurityError},  {66, 0, State::SecurityError},
      {77, 0, State::SecurityError},   {82, 0, State::SecurityError},  {83, 0, State::SecurityError},
      {84, 0, State::OtherError},      {1, 302, State::SecurityError},  // a redirect to ftp: or file:
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.state, StateForCurlResult(c.code, c.http)) << c.code << " / " << c.http;
  }
  EXPECT_EQ(15, static_cast<int>(State::SecurityError));
  EXPECT_EQ(11, static_cast<int>(State::RangeError));
}

}  // namespace
}  // namespace ombrix::http
