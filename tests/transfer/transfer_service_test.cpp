// The transfer service end to end: manifests, node list, geolocation and content
// from the loopback server, real files below a per-test folder, real threads.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <thread>

#include "support/manifest_text.h"
#include "support/temp_dir.h"
#include "support/test_http_server.h"
#include "support/wait.h"
#include "transfer/transfer_service.h"

namespace ombrix {
namespace {

namespace fs = std::filesystem;
using test::TestHttpServer;

constexpr std::uint32_t kChunk = 4096;

struct PackageFile {
  std::string path;
  std::string content;
};

std::string Pattern(std::size_t size, char seed) {
  std::string text(size, '\0');
  for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>(seed + i * 7 % 251);
  return text;
}

class TransferServiceTest : public ::testing::Test {
 public:
  TransferServiceTest() {
    files = {{"bin/app.sh", "#!/bin/sh\necho hello\n"},
             {"empty.dat", ""},
             {"data/sub/big.bin", Pattern(5 * kChunk + 123, 'a')},
             {"data/small.bin", Pattern(kChunk - 1, 'k')}};
    Publish("");
    server.SetContent("/nodes/P.xml",
                      "<ArrayOfNodeInfo><NodeInfo><NodeId>n1</NodeId><Host>" + server.Authority() +
                          "</Host><Path>/c/</Path></NodeInfo></ArrayOfNodeInfo>");
    SetCountry("NO");
    settings.manifestHost = server.Authority();
    settings.geolocationUrl = server.Url("/geo");
    settings.periodicEventInterval = 0;  // every status read raises the periodic report
    environment.environment = Environment({{"TMPDIR", dir.str()}});
    environment.analyticsEventsUrl = server.Url("/events");
    environment.analyticsTransfersUrl = server.Url("/transfers");
  }

  // The package record (with `version` inside <package>) and its content.
  void Publish(const std::string& version) {
    std::string xml = "<package><id>K</id><name>App</name><partnerId>P</partnerId><versionId>V</versionId>"
                      "<run>bin/app.sh</run>" + version + "<files>";
    for (const auto& file : files) {
      xml += test::FileElement(file.path, file.content, kChunk);
      server.SetContent("/c/P/K/V/" + file.path, file.content);
    }
    server.SetContent("/manifests/K/current.xml", xml + "</files></package>");
    server.SetContent("/manifests/K/V.xml", xml + "</files></package>");
  }

  void SetCountry(const std::string& country) {
    server.SetContent("/geo", R"({"ip":"192.0.2.1","country_code":")" + country + R"("})", "application/json");
  }

  std::unique_ptr<TransferService> Service() { return std::make_unique<TransferService>(settings, environment); }

  // Waits until `predicate` holds for the status, or the transfer is finished.
  TransferStatus WaitFor(TransferContract& service, const std::string& id,
                         const std::function<bool(const TransferStatus&)>& predicate) {
    TransferStatus status;
    test::WaitUntil([&] {
      status = service.GetStatus(id);
      return predicate(status) || IsTransferFinished(status);
    });
    return status;
  }

  TransferStatus WaitForState(TransferContract& service, const std::string& id, TransferState state) {
    return WaitFor(service, id, [state](const TransferStatus& s) { return s.state == state; });
  }

  // Creates, initializes and starts a download into dest; answers its identifier.
  std::string Begin(TransferContract& service) {
    const TransferStatus created = service.CreateTransfer("P", "K");
    EXPECT_EQ(created.state, TransferState::Initializing);
    EXPECT_EQ(WaitForState(service, created.transferId, TransferState::Initialized).state, TransferState::Initialized);
    EXPECT_TRUE(service.CanTransferTo(created.transferId, Dest()));
    EXPECT_EQ(service.StartTransfer(created.transferId, "").state, TransferState::Initialized);
    EXPECT_EQ(service.StartTransfer(created.transferId, Dest()).state, TransferState::Transferring);
    return created.transferId;
  }

  std::string Dest() const { return (dir.path() / "dest").string(); }

  std::string Read(const std::string& path) const {
    std::ifstream in(dir.path() / "dest" / path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  bool Executable(const std::string& path) const {
    struct stat info {};
    return ::stat((dir.path() / "dest" / path).c_str(), &info) == 0 && (info.st_mode & 0100) != 0;
  }

  std::size_t ChunkRequests() const {
    std::size_t count = 0;
    for (const auto& request : server.Requests()) count += request.path.rfind("/c/", 0) == 0 ? 1 : 0;
    return count;
  }

  test::TempDir dir;
  TestHttpServer server;
  std::vector<PackageFile> files;
  TransferSettings settings;
  ServiceEnvironment environment;
};

TEST_F(TransferServiceTest, DownloadsAPackageByteExactAndARerunFetchesNothing) {
  std::string id;
  {
    auto service = Service();
    id = Begin(*service);
    const TransferStatus done = WaitForState(*service, id, TransferState::Complete);
    ASSERT_EQ(done.state, TransferState::Complete);
    EXPECT_EQ(done.error, TransferError::None);
    EXPECT_EQ(done.run, "bin/app.sh");
    EXPECT_EQ(done.transferredBytes, done.totalBytes);
    EXPECT_EQ(done.verifiedBytes, done.totalBytes);
    for (const auto& file : files) EXPECT_EQ(Read(file.path), file.content) << file.path;
    EXPECT_TRUE(Executable("bin/app.sh"));
    EXPECT_FALSE(Executable("data/small.bin"));

    std::ifstream record(dir.path() / settings.transfersFolder / (id + ".json"));
    const std::string text((std::istreambuf_iterator<char>(record)), {});
    EXPECT_EQ(text, "{\"transferId\":\"" + id + "\",\"partnerId\":\"P\",\"packageId\":\"K\",\"versionId\":\"V\","
                    "\"destPath\":\"" + Dest() + "\"}\n");
  }
  EXPECT_EQ(ChunkRequests(), 8u);  // 1 + 6 + 1 chunks, the empty file none

  // The analytics and the log saw the run.
  EXPECT_GE(server.RequestCount("/events"), 1u);
  EXPECT_GE(server.RequestCount("/transfers"), 1u);

  auto service = Service();
  const std::string again = Begin(*service);
  EXPECT_EQ(WaitForState(*service, again, TransferState::Complete).state, TransferState::Complete);
  EXPECT_EQ(ChunkRequests(), 8u);
}

// An analytics host that accepts and never answers holds neither the download nor
// the teardown for longer than the reporter's drain deadline.
TEST_F(TransferServiceTest, ADeadAnalyticsHostDoesNotHoldTheTeardown) {
  test::Behavior blackHole;
  blackHole.stallAfterBytes = 0;
  server.SetBehavior("/events", blackHole);
  server.SetBehavior("/transfers", blackHole);
  auto service = Service();
  const std::string id = Begin(*service);
  ASSERT_EQ(WaitForState(*service, id, TransferState::Complete).state, TransferState::Complete);
  std::atomic<bool> ended{false};
  std::thread teardown([&] {
    service.reset();
    ended = true;
  });
  EXPECT_TRUE(test::WaitUntil([&] { return ended.load(); }, std::chrono::seconds(10)));
  teardown.join();
}

TEST_F(TransferServiceTest, AnInterruptedDownloadResumesAfterARestartWithoutRefetching) {
  test::Behavior stall;
  stall.stallAfterBytes = 100;
  server.SetBehavior("/c/P/K/V/data/sub/big.bin", stall);
  settings.chunkConcurrency = 1;
  std::string id;
  {
    auto service = Service();
    id = Begin(*service);
    ASSERT_TRUE(test::WaitUntil([&] { return server.StalledCount() > 0; }));
  }  // the service goes while a chunk is stalled: the transfer is suspended
  const std::size_t before = ChunkRequests();
  server.SetBehavior("/c/P/K/V/data/sub/big.bin", test::Behavior());
  server.ReleaseStalls();

  auto service = Service();
  EXPECT_EQ(service->GetStatus(id).state, TransferState::Suspended);
  EXPECT_EQ(service->RestoreTransfer(id).state, TransferState::Initializing);
  ASSERT_EQ(WaitForState(*service, id, TransferState::Initialized).state, TransferState::Initialized);
  EXPECT_EQ(service->StartTransfer(id).state, TransferState::Transferring);  // keeps the stored destination
  ASSERT_EQ(WaitForState(*service, id, TransferState::Complete).state, TransferState::Complete);
  for (const auto& file : files) EXPECT_EQ(Read(file.path), file.content) << file.path;
  // The run file was complete before the restart and is not asked for again.
  std::size_t runRequests = 0;
  for (const auto& request : server.RequestsFor("/c/P/K/V/bin/app.sh")) runRequests += request.method == "GET";
  EXPECT_EQ(runRequests, 1u);
  EXPECT_LT(ChunkRequests() - before, 8u);
}

TEST_F(TransferServiceTest, ARetryableErrorWaitsForRetry) {
  test::Behavior down;
  down.status = 503;
  server.SetBehavior("/c/P/K/V/data/small.bin", down);
  settings.chunkRequestRetries = 0;
  settings.chunkTransferRetries = 0;
  auto service = Service();
  const std::string id = Begin(*service);
  const TransferStatus failed = WaitFor(*service, id, [](const TransferStatus& s) { return s.retryable; });
  EXPECT_EQ(failed.error, TransferError::Network);
  EXPECT_TRUE(failed.retryable);

  server.SetBehavior("/c/P/K/V/data/small.bin", test::Behavior());
  EXPECT_EQ(service->RetryTransfer(id).error, TransferError::None);
  EXPECT_EQ(WaitForState(*service, id, TransferState::Complete).state, TransferState::Complete);
  EXPECT_EQ(Read("data/small.bin"), files[3].content);
}

TEST_F(TransferServiceTest, CancelWithCleanUpRemovesTheFilesOfTheRunInProgress) {
  test::Behavior stall;
  stall.stallAfterBytes = 10;
  server.SetBehavior("/c/P/K/V/data/sub/big.bin", stall);
  auto service = Service();
  const std::string id = Begin(*service);
  ASSERT_TRUE(test::WaitUntil([&] { return server.StalledCount() > 0; }));
  EXPECT_EQ(service->CancelTransfer(id, true).state, TransferState::Canceled);
  server.ReleaseStalls();
  EXPECT_TRUE(test::WaitUntil([&] {
    for (const auto& file : files) {
      if (fs::exists(dir.path() / "dest" / file.path)) return false;
    }
    return true;
  }));
  EXPECT_FALSE(fs::exists(dir.path() / settings.transfersFolder / (id + ".json")));
}

TEST_F(TransferServiceTest, InitializationFailuresEndTheTransfer) {
  struct Case {
    const char* name;
    std::function<void(TransferServiceTest&)> arrange;
    TransferError error;
  };
  const Case cases[] = {
      {"missing package", [](TransferServiceTest& t) { t.server.SetBehavior("/manifests/K/current.xml", {404}); },
       TransferError::ContentUnavailable},
      {"inactive package", [](TransferServiceTest& t) { t.Publish("<isActive>false</isActive>"); },
       TransferError::ContentUnavailable},
      {"blacklisted country",
       [](TransferServiceTest& t) {
         t.Publish("<version><id>V</id><run>bin/app.sh</run><policy>Blacklist</policy><countryCodes><countryCode>SE</countryCode>"
                   "</countryCodes></version>");
         t.SetCountry("SE");
       },
       TransferError::Geofence},
      {"one path listed twice with other contents",
       [](TransferServiceTest& t) {
         t.files.push_back({"data/./small.bin", "other"});
         t.Publish("");
       },
       TransferError::ContentUnavailable},
      {"whitelist without geolocation",
       [](TransferServiceTest& t) {
         t.Publish("<version><id>V</id><run>bin/app.sh</run><policy>Whitelist</policy><countryCodes><countryCode>NO</countryCode>"
                   "</countryCodes></version>");
         t.server.SetBehavior("/geo", {503});
       },
       TransferError::Geofence},
  };
  for (const Case& c : cases) {
    files.resize(4);
    Publish("");
    SetCountry("NO");
    server.SetBehavior("/manifests/K/current.xml", {});
    server.SetBehavior("/geo", {});
    c.arrange(*this);
    auto service = Service();
    const std::string id = service->CreateTransfer("P", "K").transferId;
    const TransferStatus status = WaitFor(*service, id, [](const TransferStatus&) { return false; });
    EXPECT_EQ(status.error, c.error) << c.name;
    EXPECT_FALSE(status.retryable) << c.name;
    EXPECT_FALSE(fs::exists(dir.path() / "dest")) << c.name;
  }
  EXPECT_EQ(server.RequestCount("/manifests/K/current.xml"), 5u);  // a 404 is not retried
}

TEST_F(TransferServiceTest, AFileListedTwiceAlikeIsFetchedOnce) {
  files.push_back({"data\\small.bin", files[3].content});
  Publish("");
  auto service = Service();
  const std::string id = Begin(*service);
  ASSERT_EQ(WaitForState(*service, id, TransferState::Complete).state, TransferState::Complete);
  EXPECT_EQ(server.RequestCount("/c/P/K/V/data/small.bin"), 1u);
  EXPECT_EQ(Read("data/small.bin"), files[3].content);
}

TEST_F(TransferServiceTest, ACorruptedChunkIsFetchedAgainAlone) {
  {
    auto service = Service();
    const std::string id = Begin(*service);
    ASSERT_EQ(WaitForState(*service, id, TransferState::Complete).state, TransferState::Complete);
  }
  {
    std::fstream file(dir.path() / "dest/data/sub/big.bin", std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(2 * kChunk + 5);
    file.put('\x7f');
  }
  const std::size_t before = ChunkRequests();
  auto service = Service();
  const std::string id = Begin(*service);
  ASSERT_EQ(WaitForState(*service, id, TransferState::Complete).state, TransferState::Complete);
  EXPECT_EQ(ChunkRequests(), before + 1);
  const auto requests = server.RequestsFor("/c/P/K/V/data/sub/big.bin");
  EXPECT_EQ(requests.back().Header("Range"), "bytes=8192-12287");
  EXPECT_EQ(Read("data/sub/big.bin"), files[2].content);
}

TEST_F(TransferServiceTest, ALinkPlantedInTheDestinationIsNotWrittenThrough) {
  fs::create_directories(dir.path() / "dest");
  fs::create_directories(dir.path() / "outside");
  fs::create_directory_symlink(dir.path() / "outside", dir.path() / "dest/data");
  auto service = Service();
  const std::string id = Begin(*service);
  const TransferStatus status = WaitFor(*service, id, [](const TransferStatus& s) { return s.error != TransferError::None; });
  EXPECT_NE(status.state, TransferState::Complete);
  EXPECT_NE(status.error, TransferError::None);
  EXPECT_TRUE(fs::is_empty(dir.path() / "outside"));
}

TEST_F(TransferServiceTest, ManifestOutagesAreRetryableAndAMissingGeolocationLetsABlacklistThrough) {
  server.SetBehavior("/manifests/K/current.xml", {503});
  {
    auto service = Service();
    const std::string id = service->CreateTransfer("P", "K").transferId;
    const TransferStatus status = WaitFor(*service, id, [](const TransferStatus& s) { return s.retryable; });
    EXPECT_EQ(status.error, TransferError::Network);
    EXPECT_TRUE(status.retryable);
    EXPECT_EQ(server.RequestCount("/manifests/K/current.xml"), 5u);  // manifestRetries 4
  }
  server.SetBehavior("/manifests/K/current.xml", {});
  Publish("<version><id>V</id><run>bin/app.sh</run><policy>Blacklist</policy><countryCodes>"
          "<countryCode>NO</countryCode></countryCodes></version>");
  server.SetBehavior("/geo", {503});
  auto service = Service();
  const std::string id = Begin(*service);
  EXPECT_EQ(WaitForState(*service, id, TransferState::Complete).state, TransferState::Complete);
}

TEST_F(TransferServiceTest, VerificationChecksAnInstalledPackageWithoutWriting) {
  auto service = Service();
  ASSERT_EQ(WaitForState(*service, Begin(*service), TransferState::Complete).state, TransferState::Complete);
  fs::remove(dir.path() / "dest/data/small.bin");
  ServiceContext context(settings, environment);
  TransferParams params;
  params.partnerId = "P";
  params.packageId = "K";
  const std::size_t before = ChunkRequests();
  auto transfer = context.standardTransferFactory.Create(params, context.verifyBehavior);
  transfer->Initialize();
  ASSERT_TRUE(test::WaitUntil([&] { return transfer->GetStatus().state == TransferState::Initialized; }));
  transfer->Start(Dest());
  TransferStatus status;
  ASSERT_TRUE(test::WaitUntil([&] { return IsTransferFinished(status = transfer->GetStatus()); }));
  EXPECT_EQ(status.error, TransferError::ChecksumMismatch);
  EXPECT_EQ(ChunkRequests(), before);
  EXPECT_FALSE(fs::exists(dir.path() / "dest/data/small.bin"));
}

// Operations from several threads at once, in a random but repeatable order, never
// break the transfer: it ends in a consistent state, and a completed one is exact.
TEST_F(TransferServiceTest, ConcurrentOperationsKeepTheTransferConsistent) {
  test::Behavior slow;  // keeps the download running while the threads work
  slow.slowChunkBytes = 1024;
  slow.slowChunkDelay = std::chrono::milliseconds(2);
  server.SetBehavior("/c/P/K/V/data/sub/big.bin", slow);
  auto service = Service();
  const std::string id = Begin(*service);
  std::vector<std::thread> threads;
  for (unsigned seed = 1; seed <= 4; ++seed) {
    threads.emplace_back([&, seed] {
      std::mt19937 random(seed);
      for (int i = 0; i < 40; ++i) {
        switch (random() % 7) {
          case 0: service->PauseTransfer(id); break;
          case 1: service->ResumeTransfer(id); break;
          case 2: service->SuspendTransfer(id); break;
          case 3: service->RestoreTransfer(id); break;
          case 4: service->StartTransfer(id); break;
          case 5: service->RetryTransfer(id); break;
          default: service->GetStatus(id); break;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  // Bring it to an end: resume whatever state the schedule left.
  TransferStatus status;
  ASSERT_TRUE(test::WaitUntil([&] {
    status = service->GetStatus(id);
    switch (status.state) {
      case TransferState::Suspended: service->RestoreTransfer(id); break;
      case TransferState::Initialized: service->StartTransfer(id); break;
      case TransferState::InitializingPaused:
      case TransferState::TransferringPaused: service->ResumeTransfer(id); break;
      default: break;
    }
    return IsTransferFinished(status) && status.state != TransferState::Suspended;
  }));
  EXPECT_EQ(status.error, TransferError::None);
  if (status.state == TransferState::Complete) {
    for (const auto& file : files) EXPECT_EQ(Read(file.path), file.content) << file.path;
  }
}

TEST_F(TransferServiceTest, UnknownAndHostileIdentifiersAnswerUnknownAndTouchNothing) {
  const fs::path victim = dir.path() / "x.json";
  std::ofstream(victim) << "{}";
  auto service = Service();
  for (const std::string id : {"0123456789abcdef0123456789abcdef", "../../x", "../x", ""}) {
    const TransferStatus status = service->CancelTransfer(id, true);
    EXPECT_EQ(status.state, TransferState::Unknown) << id;
    EXPECT_EQ(status.transferId, id);
    EXPECT_FALSE(service->CanTransferTo(id, Dest()));
  }
  EXPECT_TRUE(fs::exists(victim));

  ServiceContext context(settings, environment);
  context.transferManager.Shutdown();
  TransferParams params;
  EXPECT_EQ(context.transferManager.Create(params, context.downloadBehavior), nullptr);
}

}  // namespace
}  // namespace ombrix
