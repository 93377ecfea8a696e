// Content nodes that misbehave: every transfer still ends byte-exact from the node
// that behaves, or, when no node does, with a retryable network error, never a hang
// and never Complete. The real service, two loopback servers: a faulty node weighted
// nine to one over a good one, so the faulty one is tried many times.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "support/manifest_text.h"
#include "support/temp_dir.h"
#include "support/test_http_server.h"
#include "support/wait.h"
#include "transfer/transfer_service.h"

namespace ombrix {
namespace {

namespace fs = std::filesystem;
using test::Behavior;
using test::TestHttpServer;

constexpr std::uint32_t kChunk = 4096;
constexpr std::size_t kSize = 40 * kChunk + 77;
const char* const kPath = "/n/P/K/V/data.bin";

std::string Content() {
  std::string text(kSize, '\0');
  for (std::size_t i = 0; i < kSize; ++i) text[i] = static_cast<char>((i * 131 + i / 7) % 251);
  return text;
}

struct Fault {
  const char* name;
  std::function<void(TestHttpServer& bad, TestHttpServer& good)> arrange;
  bool goodNodeToo = true;  // false: every node fails
};

class NodeFaultTest : public ::testing::TestWithParam<Fault> {
 public:
  NodeFaultTest() {
    const std::string content = Content();
    manifests.SetContent("/manifests/K/current.xml",
                         "<package><id>K</id><name>K</name><partnerId>P</partnerId><versionId>V</versionId><files>" +
                         test::FileElement("data.bin", content, kChunk) + "</files></package>");
    manifests.SetContent("/geo", R"({"ip":"192.0.2.1","country_code":"NO"})");
    bad.SetContent(kPath, content);
    good.SetContent(kPath, content);
    settings.manifestHost = manifests.Authority();
    settings.geolocationUrl = manifests.Url("/geo");
    // Stalled and trickling answers are given up after a second, not a minute.
    settings.minLowSpeedTime = 1;
    settings.maxLowSpeedTime = 1;
    settings.explorationLowSpeedTime = 1;
    settings.minRequestTimeout = 2;
    settings.explorationMinRequestTimeout = 2;
    environment.environment = Environment(std::map<std::string, std::string>{{"TMPDIR", dir.str()}});
    environment.analyticsEventsUrl = manifests.Url("/events");
    environment.analyticsTransfersUrl = manifests.Url("/transfers");
  }

  void PublishNodes(bool goodNodeToo) {
    std::string list = "<ArrayOfNodeInfo><NodeInfo><NodeId>bad</NodeId><Host>" + bad.Authority() +
                       "</Host><Path>/n/</Path><Weight>9</Weight></NodeInfo>";
    const TestHttpServer& second = goodNodeToo ? good : bad;
    list += "<NodeInfo><NodeId>other</NodeId><Host>" + second.Authority() +
            "</Host><Path>/n/</Path><Weight>1</Weight></NodeInfo></ArrayOfNodeInfo>";
    manifests.SetContent("/nodes/P.xml", list);
  }

  std::string Dest() const { return (dir.path() / "dest").string(); }

  test::TempDir dir;
  TestHttpServer manifests, bad, good;
  TransferSettings settings;
  ServiceEnvironment environment;
};

TEST_P(NodeFaultTest, EndsByteExactOrWithARetryableNetworkError) {
  GetParam().arrange(bad, good);
  PublishNodes(GetParam().goodNodeToo);
  TransferService service(settings, environment);
  const std::string id = service.CreateTransfer("P", "K").transferId;
  TransferStatus status;
  ASSERT_TRUE(test::WaitUntil([&] { return (status = service.GetStatus(id)).state == TransferState::Initialized; }));
  service.StartTransfer(id, Dest());
  // Bounded: a hang is a failure, not a slow pass.
  ASSERT_TRUE(test::WaitUntil([&] {
    status = service.GetStatus(id);
    return IsTransferFinished(status) || status.error != TransferError::None;
  }, std::chrono::seconds(60))) << "no end in a minute";

  if (GetParam().goodNodeToo) {
    ASSERT_EQ(status.state, TransferState::Complete) << "error " << static_cast<int>(status.error);
    std::ifstream in(fs::path(Dest()) / "data.bin", std::ios::binary);
    EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(in), {}) == Content()) << "bytes differ";
    EXPECT_GE(bad.RequestCount(kPath), 1u) << "the faulty node was never tried";
  } else {
    EXPECT_NE(status.state, TransferState::Complete);
    EXPECT_EQ(status.error, TransferError::Network);
    EXPECT_TRUE(status.retryable);
  }
  // Nothing was written beside the destination and the service's own folders.
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "dest" || name == "Farrowgate") << "stray " << name;
  }
  bad.ReleaseStalls();
}

Behavior With(std::function<void(Behavior&)> set) {
  Behavior behavior;
  set(behavior);
  return behavior;
}

INSTANTIATE_TEST_SUITE_P(
    Scenarios, NodeFaultTest,
    ::testing::Values(
        Fault{"WholeFileForARange", [](auto& b, auto&) { b.SetBehavior(kPath, With([](Behavior& x) { x.ignoreRange = true; })); }},
        Fault{"WrongContentRange",
              [](auto& b, auto&) { b.SetBehavior(kPath, With([](Behavior& x) { x.sendRange = std::make_pair(0ull, 4095ull); })); }},
        Fault{"ShortBodyThenClose", [](auto& b, auto&) { b.SetBehavior(kPath, With([](Behavior& x) { x.cutAfterBytes = 100; })); }},
        Fault{"MoreBytesThanAsked",
              [](auto& b, auto&) {
                b.SetHandler(kPath, [](const test::RecordedRequest& request) {
                  test::Reply reply;
                  reply.status = 206;
                  reply.body = std::string(2 * kChunk, 'x');
                  reply.headers = {{"Content-Range", "bytes " + request.Header("Range").substr(6) + "/" + std::to_string(kSize)}};
                  return reply;
                });
              }},
        Fault{"ResetMidBody",
              [](auto& b, auto&) {
                b.SetBehavior(kPath, With([](Behavior& x) {
                  x.cutAfterBytes = 1000;
                  x.resetOnCut = true;
                }));
              }},
        Fault{"WrongBytes", [](auto& b, auto&) { b.SetContent(kPath, std::string(kSize, 'w')); }},
        Fault{"StallAfterHeaders", [](auto& b, auto&) { b.SetBehavior(kPath, With([](Behavior& x) { x.stallAfterBytes = 0; })); }},
        Fault{"TrickleOfOneBytePerSecond",
              [](auto& b, auto&) {
                b.SetBehavior(kPath, With([](Behavior& x) {
                  x.slowChunkBytes = 1;
                  x.slowChunkDelay = std::chrono::seconds(1);
                }));
              }},
        Fault{"RedirectToAFile", [](auto& b, auto&) { b.SetBehavior(kPath, With([](Behavior& x) { x.redirectTo = "file:///etc/passwd"; })); }},
        Fault{"RedirectToFtp", [](auto& b, auto&) { b.SetBehavior(kPath, With([](Behavior& x) { x.redirectTo = "ftp://127.0.0.1/data.bin"; })); }},
        Fault{"RedirectToAnotherNode",
              [](auto& b, auto& g) { b.SetBehavior(kPath, With([&g](Behavior& x) { x.redirectTo = g.Url(kPath); })); }},
        Fault{"EveryNodeAnswers503", [](auto& b, auto&) { b.SetBehavior(kPath, With([](Behavior& x) { x.status = 503; })); },
              false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ombrix
