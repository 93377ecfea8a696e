// Chunks downloaded end to end: a real workflow on real threads, a real node
// selector, real HTTP against the loopback server and real files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/crc32.h"
#include "common/sha256.h"
#include "file/posix/filesystem_impl.h"
#include "file/shared_file.h"
#include "http/curl_request_factory.h"
#include "http/session_factory.h"
#include "manifest/file_manifest.h"
#include "manifest/node_list_manifest.h"
#include "manifest/node_manifest.h"
#include "selection/node_statistics.h"
#include "selection/proportional_gambling_transfer_optimizer.h"
#include "support/fake_transfer_work_interface.h"
#include "support/manifest_text.h"
#include "support/temp_dir.h"
#include "support/test_http_server.h"
#include "support/wait.h"
#include "work/asio_work_manager.h"
#include "work/standard_workflow.h"
#include "workflow/http_transfer_status_data.h"
#include "workflow/transfer_chunk_works.h"
#include "workflow/transfer_file_works.h"
#include "workflow/transfer_shared_file_data.h"

namespace ombrix {
namespace {

using test::TestHttpServer;

class NoProxyFactory : public http::ProxyFactory {
 public:
  std::shared_ptr<http::Proxy> CreateProxy() override { return std::make_shared<http::EmptyProxy>(); }
};

std::shared_ptr<const FileManifest> Manifest(const std::string& path, const std::string& content,
                                             std::uint32_t chunkSize) {
  std::vector<std::uint32_t> checksums;
  for (std::size_t first = 0; first < content.size(); first += chunkSize) {
    const std::string chunk = content.substr(first, chunkSize);
    checksums.push_back(Crc32(chunk.data(), chunk.size()));
  }
  return std::make_shared<StandardFileManifest>(path, chunkSize, content.size(), checksums);
}

// `chunk` with other bytes and the same CRC-32. The CRC is affine over GF(2), so
// among the 40 single-bit changes of the first 5 bytes (in a 32-bit space) some
// non-empty combination leaves it unchanged; elimination finds one.
std::string ForgeSameCrc(const std::string& chunk) {
  const std::string zeros(chunk.size(), '\0');
  const std::uint32_t base = Crc32(zeros.data(), zeros.size());
  std::vector<std::pair<std::uint32_t, std::uint64_t>> basis;  // (effect, bits), distinct leading bits, descending
  for (int bit = 0; bit < 40; ++bit) {
    std::string flipped = zeros;
    flipped[bit / 8] = static_cast<char>(1 << (bit % 8));
    std::uint32_t effect = Crc32(flipped.data(), flipped.size()) ^ base;
    std::uint64_t bits = 1ull << bit;
    for (const auto& [v, b] : basis) {
      if ((effect ^ v) < effect) effect ^= v, bits ^= b;
    }
    if (effect == 0) {
      std::string forged = chunk;
      for (int k = 0; k < 40; ++k) {
        if (bits >> k & 1) forged[k / 8] = static_cast<char>(forged[k / 8] ^ (1 << (k % 8)));
      }
      return forged;
    }
    basis.emplace_back(effect, bits);
    std::sort(basis.rbegin(), basis.rend());
  }
  ADD_FAILURE() << "no forgery found";
  return chunk;
}

std::vector<std::string> Ranges(const std::vector<test::RecordedRequest>& requests) {
  std::vector<std::string> ranges;
  for (const auto& request : requests) ranges.push_back(request.Header("Range"));
  std::sort(ranges.begin(), ranges.end());
  return ranges;
}

struct Outcome {
  WorkflowState state = WorkflowState::NotStarted;
  WorkStatus status;  // the root's completion, or the retryable error reported
};

class ChunkTransferTest : public ::testing::Test {
 protected:
  ChunkTransferTest() {
    transfer->params.partnerId = "P";
    transfer->params.packageId = "K";
    transfer->params.versionId = "V";
    transfer->behavior.filesystem = &filesystem;
    transfer->behavior.requestFactory = &requests;
    transfer->behavior.transferOptimizer = &optimizer;
    transfer->behavior.settings.chunkConcurrency = 1;
    transfer->SetSession(sessions.CreateSession());
    UseNodes({&server});
  }

  void UseNodes(const std::vector<TestHttpServer*>& servers) {
    NodeListManifest::Nodes nodes;
    for (TestHttpServer* s : servers) {
      nodes.push_back(std::make_shared<StandardNodeManifest>("n" + std::to_string(nodes.size()), s->Authority(),
                                                             "/c/", 1, std::make_shared<NodeStatistics>()));
    }
    transfer->SetNodeList(std::make_shared<StandardNodeListManifest>(nodes));
  }

  // The local file at its full size with `initial` bytes, opened for the chunk works.
  std::shared_ptr<TransferSharedFileData> Local(const std::string& path, const std::string& initial) {
    dir.Write(path, initial);
    auto fileData = std::make_shared<TransferSharedFileData>(path, initial.size());
    fileData->SetFile(filesystem.OpenFileBeneath(dir.str(), path, file::OpenMode::OpenAlways, true, 0,
                                                 initial.size() - 1));
    return fileData;
  }

  std::string Read(const std::string& path) {
    std::ifstream in(dir.path() / path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  // Runs the chunk works of one file until the root completes or the workflow waits
  // for a retry.
  Outcome Run(std::shared_ptr<const FileManifest> file, std::shared_ptr<TransferSharedFileData> fileData) {
    test::RecordingCompleteRoute rootDone;
    test::RecordingRetryableErrorCallback waiting;
    auto root = std::make_shared<LazyParallelTransferMultipleChunksWork>(transfer, file, fileData);
    root->AddCompleteCallback(&rootDone);
    auto workflow = StandardWorkflow::Create(root, executor, 8);
    workflow->AddRetryableErrorCallback(&waiting);
    EXPECT_TRUE(workflow->Start());
    EXPECT_TRUE(test::WaitUntil([&] { return rootDone.Count() > 0 || waiting.Count() > 0; }));
    EXPECT_TRUE(test::WaitUntil([&] { return workflow->GetRunningCount() == 0; }));
    Outcome outcome;
    outcome.state = workflow->GetState();
    outcome.status = rootDone.Count() > 0 ? rootDone.Last() : waiting.Statuses().front();
    return outcome;
  }

  test::TempDir dir;
  TestHttpServer server;
  file::posix::FilesystemImpl filesystem;
  NoProxyFactory proxies;
  http::CurlRequestFactory requests{proxies};
  http::RoundRobinSessionFactory sessions;
  std::shared_ptr<test::FakeTransferWorkInterface> transfer = std::make_shared<test::FakeTransferWorkInterface>();
  ProportionalGamblingTransferOptimizer optimizer{transfer->behavior.settings, 7};
  AsioWorkManager executor{4, false};
};

TEST_F(ChunkTransferTest, RequestsOnlyTheChunksThatDoNotMatch) {
  const std::string content = "0123456789";
  struct Case {
    std::string initial;
    std::vector<std::string> ranges;
  } cases[] = {
      {std::string(10, '\0'), {"bytes=0-3", "bytes=4-7", "bytes=8-9"}},
      {std::string(4, '\0') + "4567" + std::string(2, 'x'), {"bytes=0-3", "bytes=8-9"}},
      {content, {}},
  };
  server.SetContent("/c/P/K/V/f.bin", content);
  for (const Case& c : cases) {
    auto before = server.RequestCount("/c/P/K/V/f.bin");
    const Outcome outcome = Run(Manifest("f.bin", content, 4), Local("f.bin", c.initial));
    EXPECT_EQ(outcome.state, WorkflowState::Finished);
    EXPECT_EQ(outcome.status.result, WorkResult::Success);
    auto all = server.RequestsFor("/c/P/K/V/f.bin");
    EXPECT_EQ(Ranges({all.begin() + before, all.end()}), c.ranges);
    EXPECT_EQ(Read("f.bin"), content);
  }
  EXPECT_EQ(transfer->progress->verified, 30U);
}

TEST_F(ChunkTransferTest, WrongBytesFromOneNodeAreFetchedAgainFromTheOther) {
  TestHttpServer liar;
  const std::string content = "abcdefghijklmnopqrstuvwxyz012345";
  server.SetContent("/c/P/K/V/f.bin", content);
  liar.SetContent("/c/P/K/V/f.bin", std::string(content.size(), '!'));
  UseNodes({&liar, &server});

  const Outcome outcome = Run(Manifest("f.bin", content, 4), Local("f.bin", std::string(content.size(), '\0')));

  EXPECT_EQ(outcome.status.result, WorkResult::Success);
  EXPECT_EQ(Read("f.bin"), content);
  EXPECT_EQ(transfer->progress->transferred, content.size());
  EXPECT_EQ(transfer->progress->verified, content.size());
  // Every chunk the liar answered went to the honest node next, never twice to the liar.
  const auto lied = Ranges(liar.RequestsFor("/c/P/K/V/f.bin"));
  ASSERT_FALSE(lied.empty());
  EXPECT_EQ(std::adjacent_find(lied.begin(), lied.end()), lied.end());
  EXPECT_EQ(Ranges(server.RequestsFor("/c/P/K/V/f.bin")).size(), content.size() / 4);
}

// With chunk hashes, bytes that only match the CRC-32 are neither kept from disk
// nor taken from a node: the chunk comes from the honest node.
TEST_F(ChunkTransferTest, ForgedBytesWithTheRightCrcAreCaughtBySha256) {
  const std::uint32_t chunkSize = 16;
  const std::string content = "signed bytes: the application, chunk by chunk, 64 bytes long...!";
  std::string forged;
  std::vector<Sha256Digest> hashes;
  for (std::size_t first = 0; first < content.size(); first += chunkSize) {
    const std::string chunk = content.substr(first, chunkSize);
    forged += ForgeSameCrc(chunk);
    hashes.push_back(Sha256Of(chunk));
  }
  ASSERT_NE(forged, content);
  ASSERT_EQ(test::ChunkChecksums(forged, chunkSize), test::ChunkChecksums(content, chunkSize));
  const auto unsigned_ = Manifest("f.bin", content, chunkSize);
  const auto vouched = std::make_shared<StandardFileManifest>("f.bin", chunkSize, content.size(),
                                                              unsigned_->GetChecksums(), hashes);
  TestHttpServer liar;
  server.SetContent("/c/P/K/V/f.bin", content);
  liar.SetContent("/c/P/K/V/f.bin", forged);
  UseNodes({&liar, &server});

  const Outcome outcome = Run(vouched, Local("f.bin", forged));

  EXPECT_EQ(outcome.status.result, WorkResult::Success);
  EXPECT_EQ(Read("f.bin"), content);
  EXPECT_FALSE(liar.RequestsFor("/c/P/K/V/f.bin").empty());
  EXPECT_EQ(Ranges(server.RequestsFor("/c/P/K/V/f.bin")).size(), content.size() / chunkSize);
}

TEST_F(ChunkTransferTest, ANodeThatAlwaysFailsEndsInARetryableNetworkError) {
  test::Behavior unavailable;
  unavailable.status = 503;
  server.SetBehavior("/c/P/K/V/f.bin", unavailable);

  const Outcome outcome = Run(Manifest("f.bin", "0123456789", 4), Local("f.bin", std::string(10, '\0')));

  EXPECT_EQ(outcome.state, WorkflowState::WaitingRetry);
  EXPECT_EQ(outcome.status.result, WorkResult::RetryableError);
  const auto* data = dynamic_cast<const HttpTransferStatusData*>(outcome.status.data.get());
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->ToTransferError(), TransferError::Network);
  EXPECT_EQ(server.RequestCount("/c/P/K/V/f.bin"), 5U);  // chunkRequestRetries 4, one node
}

TEST_F(ChunkTransferTest, TimeoutsThatCouldGrowAreRetriedFreelyOnlyABoundedNumberOfTimes) {
  auto& settings = transfer->behavior.settings;
  settings.chunkRequestRetries = 0;
  settings.minRequestTimeout = 1;
  settings.minLowSpeedTime = 1;
  ProportionalGamblingTransferOptimizer patient(settings, 7);
  transfer->behavior.transferOptimizer = &patient;
  test::Behavior stall;
  stall.stallAfterBytes = 0;
  server.SetContent("/c/P/K/V/f.bin", "0123456789");
  server.SetBehavior("/c/P/K/V/f.bin", stall);

  const Outcome outcome = Run(Manifest("f.bin", "0123456789", 16), Local("f.bin", std::string(10, '\0')));

  EXPECT_EQ(outcome.state, WorkflowState::WaitingRetry);
  const auto* data = dynamic_cast<const HttpTransferStatusData*>(outcome.status.data.get());
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->result.state, http::State::TimedOut);
  EXPECT_EQ(server.RequestCount("/c/P/K/V/f.bin"), 2U);  // one counted attempt, one free retry
  server.ReleaseStalls();
}

TEST_F(ChunkTransferTest, BadAnswersNeverTouchBytesOutsideTheChunk) {
  const std::string content = "0123456789ab";
  server.SetContent("/c/P/K/V/f.bin", content);
  test::Behavior wholeFile;
  wholeFile.ignoreRange = true;
  test::Behavior longer;
  longer.sendRange = std::make_pair(std::uint64_t{2}, std::uint64_t{11});
  test::Behavior shorter;
  shorter.sendRange = std::make_pair(std::uint64_t{4}, std::uint64_t{5});
  test::Behavior cut;
  cut.cutAfterBytes = 2;
  for (const test::Behavior& behavior : {wholeFile, longer, shorter, cut}) {
    server.SetBehavior("/c/P/K/V/f.bin", behavior);
    // Chunk 0 matches and is skipped; chunk 1 keeps failing, so chunk 2 (which does
    // not match) is never reached: neither of them may change.
    const std::string initial = "0123" + std::string(4, '\0') + "ZZZZ";
    const Outcome outcome = Run(Manifest("f.bin", content, 4), Local("f.bin", initial));
    EXPECT_EQ(outcome.state, WorkflowState::WaitingRetry);
    const std::string after = Read("f.bin");
    EXPECT_EQ(after.substr(0, 4), "0123");
    EXPECT_EQ(after.substr(8), "ZZZZ");
  }
}

TEST_F(ChunkTransferTest, FileNamesWithUriCharactersAreFetchedFromTheirOwnPath) {
  const std::string name = "a:b/100%#1?.bin";
  server.SetContent("/c/P/K/V/a:b/100%25%231%3F.bin", "fine");
  server.SetContent("/c/P/K/V/a:b/100%", "wrong");

  const Outcome outcome = Run(Manifest(name, "fine", 4), Local(name, std::string(4, '\0')));

  EXPECT_EQ(outcome.status.result, WorkResult::Success);
  EXPECT_EQ(Read(name), "fine");
  EXPECT_EQ(server.Requests().size(), 1U);
}

// Pause, resume and cancel land at random points while eight chunks stream; every
// run must end cleanly, a resumed one byte-exact.
TEST_F(ChunkTransferTest, PauseAndCancelWhileChunksStream) {
  std::string content(8 * 64, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>('a' + i % 26);
  const auto shared = std::make_shared<const std::string>(content);
  test::Behavior slow;
  slow.slowChunkBytes = 16;
  slow.slowChunkDelay = std::chrono::milliseconds(1);
  transfer->behavior.settings.chunkConcurrency = 8;

  for (int i = 0; i < 200; ++i) {
    // A file of its own per run: a cancelled run's last views may still be going.
    const std::string name = "f" + std::to_string(i) + ".bin";
    server.SetContent("/c/P/K/V/" + name, shared);
    server.SetBehavior("/c/P/K/V/" + name, slow);
    const auto file = Manifest(name, content, 64);
    auto fileData = Local(name, std::string(content.size(), '\0'));
    test::RecordingCompleteRoute rootDone;
    auto root = std::make_shared<LazyParallelTransferMultipleChunksWork>(transfer, file, fileData);
    root->AddCompleteCallback(&rootDone);
    auto workflow = StandardWorkflow::Create(root, executor, 8);
    const std::size_t before = server.Requests().size();
    ASSERT_TRUE(workflow->Start());
    ASSERT_TRUE(test::WaitUntil([&] { return server.Requests().size() > before + i % 8 || rootDone.Count() > 0; }));
    if (i % 2 == 0) {
      workflow->Pause();
      workflow->Resume();
      ASSERT_TRUE(rootDone.WaitForCount(1));
      EXPECT_EQ(rootDone.Last().result, WorkResult::Success);
      EXPECT_EQ(workflow->GetState(), WorkflowState::Finished);
    } else {
      workflow->Cancel(WorkStatus(WorkResult::Interrupted));
      EXPECT_EQ(workflow->GetState(), WorkflowState::Cancelled);
    }
    ASSERT_TRUE(test::WaitUntil([&] { return workflow->GetRunningCount() == 0; }));
    if (i % 2 == 0) {
      ASSERT_EQ(Read(name), content) << i;
    }
  }
}

// Without preallocation (a USB destination) a file is not sized at open: a partly
// written file is kept and completed front to back through write caches, and a
// longer one is replaced.
TEST_F(ChunkTransferTest, WithoutPreallocationFilesGrowFrontToBack) {
  std::string content;
  for (int i = 0; i < 6 * 4 + 3; ++i) content.push_back(static_cast<char>('A' + i % 26));
  server.SetContent("/c/P/K/V/f.bin", content);
  transfer->params.destPath = dir.str();
  transfer->params.preallocate = false;
  transfer->behavior.settings.chunkConcurrency = 4;
  for (const std::string& initial : {content.substr(0, 3), content + "extra"}) {
    dir.Write("f.bin", initial);
    test::RecordingCompleteRoute done;
    auto root = std::make_shared<TransferSingleFileWork>(transfer, Manifest("f.bin", content, 4));
    root->AddCompleteCallback(&done);
    auto workflow = StandardWorkflow::Create(root, executor, 8);
    ASSERT_TRUE(workflow->Start());
    ASSERT_TRUE(done.WaitForCount(1));
    EXPECT_EQ(done.Last().result, WorkResult::Success);
    EXPECT_EQ(Read("f.bin"), content);
  }
  // No chunk of either starting file matched: all seven are fetched each time.
  EXPECT_EQ(Ranges(server.RequestsFor("/c/P/K/V/f.bin")).size(), 7u + 7u);
}

// A file sized from empty is known to hold zeros: its chunks are checked without
// reading it, a chunk of zeros is never requested, and a chunk a node filled with
// wrong bytes is read back for real before it is accepted.
TEST_F(ChunkTransferTest, AZeroFilledFileIsCheckedWithoutReadingIt) {
  TestHttpServer liar;
  const std::string content = "abcd" + std::string(4, '\0') + "ijkl";
  server.SetContent("/c/P/K/V/z.bin", content);
  liar.SetContent("/c/P/K/V/z.bin", std::string(content.size(), '!'));
  UseNodes({&liar, &server});
  transfer->params.destPath = dir.str();
  test::RecordingCompleteRoute done;
  auto root = std::make_shared<TransferSingleFileWork>(transfer, Manifest("z.bin", content, 4));
  root->AddCompleteCallback(&done);
  auto workflow = StandardWorkflow::Create(root, executor, 8);
  ASSERT_TRUE(workflow->Start());
  ASSERT_TRUE(done.WaitForCount(1));
  EXPECT_EQ(done.Last().result, WorkResult::Success);
  EXPECT_EQ(Read("z.bin"), content);
  for (const auto& range : Ranges(server.RequestsFor("/c/P/K/V/z.bin"))) EXPECT_NE(range, "bytes=4-7");
  for (const auto& range : Ranges(liar.RequestsFor("/c/P/K/V/z.bin"))) EXPECT_NE(range, "bytes=4-7");
}

}  // namespace
}  // namespace ombrix
