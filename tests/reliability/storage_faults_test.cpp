// Storage that fails under the service, records it cannot trust, and two services
// sharing one per-user folder.
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "support/manifest_text.h"
#include "support/temp_dir.h"
#include "support/test_http_server.h"
#include "support/wait.h"
#include "transfer/transfer_service.h"

namespace ombrix {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class StorageTest : public ::testing::Test {
 public:
  StorageTest() : content(2u << 20, '\0') {
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7919 % 253);
    server.SetContent("/manifests/K/current.xml",
                      "<package><id>K</id><name>K</name><partnerId>P</partnerId><versionId>V</versionId><files>" +
                      test::FileElement("data.bin", content, kChunk) + "</files></package>");
    server.SetContent("/nodes/P.xml", "<ArrayOfNodeInfo><NodeInfo><NodeId>n</NodeId><Host>" + server.Authority() +
                                          "</Host><Path>/c/</Path></NodeInfo></ArrayOfNodeInfo>");
    server.SetContent("/c/P/K/V/data.bin", content);
    server.SetContent("/geo", R"({"ip":"192.0.2.1","country_code":"NO"})");
    settings.manifestHost = server.Authority();
    settings.geolocationUrl = server.Url("/geo");
  }
  ~StorageTest() override {
    for (const fs::path& mounted : mounts) ::umount2(mounted.c_str(), MNT_DETACH);
  }

  // A small file system of its own, or false (not root, no tmpfs).
  bool Mount(const fs::path& where, std::size_t bytes) {
    fs::create_directories(where);
    if (::mount("tmpfs", where.c_str(), "tmpfs", 0, ("size=" + std::to_string(bytes)).c_str()) != 0) return false;
    mounts.push_back(where);
    return true;
  }

  std::unique_ptr<TransferService> Service(const fs::path& userFolder) {
    fs::create_directories(userFolder);
    ServiceEnvironment environment;
    environment.environment = Environment(std::map<std::string, std::string>{{"TMPDIR", userFolder.string()}});
    environment.analyticsEventsUrl = server.Url("/events");
    environment.analyticsTransfersUrl = server.Url("/transfers");
    return std::make_unique<TransferService>(settings, environment);
  }

  // Runs a download to its end (bounded); answers the final status.
  TransferStatus Download(TransferContract& service, const fs::path& dest) {
    const std::string id = service.CreateTransfer("P", "K").transferId;
    TransferStatus status;
    EXPECT_TRUE(test::WaitUntil([&] {
      status = service.GetStatus(id);
      if (status.state == TransferState::Initialized) status = service.StartTransfer(id, dest.string());
      return IsTransferFinished(status) || status.error != TransferError::None;
    }, std::chrono::seconds(60)));
    return status;
  }

  static constexpr std::uint32_t kChunk = 65536;
  std::string content;
  test::TempDir dir;
  test::TestHttpServer server;
  TransferSettings settings;
  std::vector<fs::path> mounts;
};

TEST_F(StorageTest, NoSpaceForTheFileIsInsufficientSpaceAndLeavesNoBytes) {
  if (!Mount(dir.path() / "small", 1u << 20)) GTEST_SKIP() << "no tmpfs to fill (not root)";
  auto service = Service(dir.path() / "user");
  const TransferStatus status = Download(*service, dir.path() / "small" / "dest");
  EXPECT_EQ(status.error, TransferError::InsufficientSpace);
  EXPECT_NE(status.state, TransferState::Complete);
  std::error_code error;
  EXPECT_EQ(fs::file_size(dir.path() / "small" / "dest" / "data.bin", error), 0u) << "space kept by a failed file";
}

// The download itself goes on (its destination has room); what it cannot have is a
// record to resume from after a crash, and no empty or torn record is left.
TEST_F(StorageTest, NoSpaceForTheRecordLeavesNoTornRecord) {
  if (!Mount(dir.path() / "user", 64u << 10)) GTEST_SKIP() << "no tmpfs to fill (not root)";
  auto service = Service(dir.path() / "user");
  // Fill what the service's folders left free.
  { std::ofstream filler(dir.path() / "user" / "filler", std::ios::binary); filler << std::string(64u << 10, 'f'); }
  const TransferStatus status = Download(*service, dir.path() / "dest");
  EXPECT_EQ(status.state, TransferState::Complete);
  EXPECT_TRUE(Read(dir.path() / "dest" / "data.bin") == content);
  const fs::path records = dir.path() / "user" / settings.transfersFolder;
  if (fs::exists(records)) {
    for (const auto& entry : fs::directory_iterator(records)) {
      EXPECT_FALSE(entry.is_regular_file() && fs::file_size(entry.path()) == 0) << "empty record " << entry.path();
    }
  }
}

TEST_F(StorageTest, RecordsItCannotTrustAreLeftAloneAndDoNotStopTheService) {
  const fs::path records = dir.path() / "user" / settings.transfersFolder;
  fs::create_directories(records);
  const std::string torn = "{\"transferId\":\"0123456789abcdef0123456789abcdef\",\"partnerId\":\"P\",\"packa";
  std::ofstream(records / "0123456789abcdef0123456789abcdef.json") << torn;
  std::ofstream(records / "fedcba9876543210fedcba9876543210.json") << std::string("\x00\xff garbage", 10);
  ASSERT_EQ(::mkfifo((records / "00000000000000000000000000000000.json").c_str(), 0600), 0);
  auto service = Service(dir.path() / "user");
  EXPECT_EQ(service->GetStatus("0123456789abcdef0123456789abcdef").state, TransferState::Unknown);
  const TransferStatus status = Download(*service, dir.path() / "dest");
  EXPECT_EQ(status.state, TransferState::Complete);
  EXPECT_TRUE(Read(dir.path() / "dest" / "data.bin") == content);
  EXPECT_EQ(Read(records / "0123456789abcdef0123456789abcdef.json"), torn);
}

TEST_F(StorageTest, TwoServicesOnOneUserFolderKeepTheirOwnRecordsAndFiles) {
  auto first = Service(dir.path() / "user");
  auto second = Service(dir.path() / "user");
  TransferStatus a, b;
  std::thread other([&] { b = Download(*second, dir.path() / "dest-b"); });
  a = Download(*first, dir.path() / "dest-a");
  other.join();
  EXPECT_EQ(a.state, TransferState::Complete);
  EXPECT_EQ(b.state, TransferState::Complete);
  EXPECT_TRUE(Read(dir.path() / "dest-a" / "data.bin") == content);
  EXPECT_TRUE(Read(dir.path() / "dest-b" / "data.bin") == content);
  // Each record names its own destination.
  const fs::path records = dir.path() / "user" / settings.transfersFolder;

  EXPECT_NE(Read(records / (a.transferId + ".json")).find("dest-a"), std::string::npos);
  EXPECT_NE(Read(records / (b.transferId + ".json")).find("dest-b"), std::string::npos);
}

}  // namespace
}  // namespace ombrix
