// Manifest hosts and geolocation endpoints that send hostile or broken documents:
// the transfer ends with an error before a file is touched, or (for paths that only
// look strange) writes below its destination and nowhere else; never a hang.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "support/manifest_text.h"
#include "support/temp_dir.h"
#include "support/test_http_server.h"
#include "support/wait.h"
#include "transfer/transfer_service.h"

namespace ombrix {
namespace {

namespace fs = std::filesystem;
using test::TestHttpServer;

std::string File(const std::string& path, const std::string& content, std::uint32_t chunk = 4096,
                 std::string checksums = "") {
  if (checksums.empty()) checksums = test::ChunkChecksums(content, chunk);
  return "<file><path>" + path + "</path><chunksize>" + std::to_string(chunk) + "</chunksize><size>" +
         std::to_string(content.size()) + "</size><checksums>" + checksums + "</checksums></file>";
}

std::string Package(const std::string& files) {
  return "<package><id>K</id><name>K</name><partnerId>P</partnerId><versionId>V</versionId><files>" + files +
         "</files></package>";
}

struct Case {
  const char* name;
  std::function<void(TestHttpServer&)> arrange;
  TransferError error;          // None: the transfer completes
  const char* writtenBelowDest;  // the one file it writes, when it completes
};

class ManifestFaultTest : public ::testing::TestWithParam<Case> {
 public:
  ManifestFaultTest() {
    server.SetContent("/manifests/K/current.xml", Package(File("ok.bin", "hello")));
    server.SetContent("/nodes/P.xml", "<ArrayOfNodeInfo><NodeInfo><NodeId>n</NodeId><Host>" + server.Authority() +
                                          "</Host><Path>/c/</Path></NodeInfo></ArrayOfNodeInfo>");
    server.SetContent("/geo", R"({"ip":"192.0.2.1","country_code":"NO"})");
    settings.manifestHost = server.Authority();
    settings.geolocationUrl = server.Url("/geo");
    settings.manifestTimeout = 5;
    environment.environment = Environment(std::map<std::string, std::string>{{"TMPDIR", (dir.path() / "user").string()}});
    environment.analyticsEventsUrl = server.Url("/events");
    environment.analyticsTransfersUrl = server.Url("/transfers");
    fs::create_directories(dir.path() / "user");
  }
  test::TempDir dir;
  TestHttpServer server;
  TransferSettings settings;
  ServiceEnvironment environment;
};

TEST_P(ManifestFaultTest, EndsWithItsErrorOrWritesOnlyBelowTheDestination) {
  GetParam().arrange(server);
  const fs::path dest = dir.path() / "box" / "dest";
  TransferService service(settings, environment);
  const std::string id = service.CreateTransfer("P", "K").transferId;
  TransferStatus status;
  ASSERT_TRUE(test::WaitUntil([&] {
    status = service.GetStatus(id);
    if (status.state == TransferState::Initialized) status = service.StartTransfer(id, dest.string());
    return IsTransferFinished(status) || status.error != TransferError::None;
  }, std::chrono::seconds(60)));
  EXPECT_EQ(status.error, GetParam().error);
  std::vector<std::string> written;
  fs::create_directories(dir.path() / "box");
  for (const auto& entry : fs::recursive_directory_iterator(dir.path() / "box")) {
    if (entry.is_regular_file()) written.push_back(fs::relative(entry.path(), dest).generic_string());
  }
  if (GetParam().error == TransferError::None) {
    EXPECT_EQ(status.state, TransferState::Complete);
    EXPECT_EQ(written, std::vector<std::string>{GetParam().writtenBelowDest});
  } else {
    EXPECT_TRUE(written.empty()) << written.front();
  }
}

const std::string kHello = "hello";

INSTANTIATE_TEST_SUITE_P(
    Scenarios, ManifestFaultTest,
    ::testing::Values(
        Case{"EndlessManifest",
             [](TestHttpServer& s) {
               s.SetContent("/manifests/K/current.xml", std::make_shared<const std::string>((65u << 20), '<'));
             },
             TransferError::Network, ""},
        Case{"ParentPath", [](TestHttpServer& s) {
               s.SetContent("/manifests/K/current.xml", Package(File("../escape.bin", kHello)));
               s.SetContent("/c/P/K/V/../escape.bin", kHello);
             }, TransferError::ContentUnavailable, ""},
        Case{"AbsolutePath", [](TestHttpServer& s) {
               s.SetContent("/manifests/K/current.xml", Package(File("/abs.bin", kHello)));
               s.SetContent("/c/P/K/V//abs.bin", kHello);
             }, TransferError::ContentUnavailable, ""},
        Case{"DriveLetterPath", [](TestHttpServer& s) {
               s.SetContent("/manifests/K/current.xml", Package(File("C:\\escape.bin", kHello)));
             }, TransferError::ContentUnavailable, ""},
        Case{"BackslashParentPath", [](TestHttpServer& s) {
               s.SetContent("/manifests/K/current.xml", Package(File("..\\escape.bin", kHello)));
             }, TransferError::ContentUnavailable, ""},
        Case{"NulInPath", [](TestHttpServer& s) {
               s.SetContent("/manifests/K/current.xml", Package(File("a&#0;b", kHello)));
             }, TransferError::ContentUnavailable, ""},
        Case{"ChunkCountAboveTheLimit", [](TestHttpServer& s) {
               s.SetContent("/manifests/K/current.xml",
                            Package("<file><path>big</path><chunksize>1</chunksize><size>1099511627776</size>"
                                    "<checksums></checksums></file>"));
             }, TransferError::ContentUnavailable, ""},
        Case{"ChecksumOfTheWrongLength", [](TestHttpServer& s) {
               s.SetContent("/manifests/K/current.xml", Package(File("ok.bin", kHello, 4096, "0123456")));
             }, TransferError::ContentUnavailable, ""},
        Case{"NodeListWithoutNodes", [](TestHttpServer& s) { s.SetContent("/nodes/P.xml", "<ArrayOfNodeInfo/>"); },
             TransferError::ContentUnavailable, ""},
        Case{"GeolocationOfTenMegabytes", [](TestHttpServer& s) {
               s.SetContent("/geo", std::make_shared<const std::string>(10u << 20, ' '));
               s.SetContent("/c/P/K/V/ok.bin", kHello);
             }, TransferError::None, "ok.bin"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ombrix
