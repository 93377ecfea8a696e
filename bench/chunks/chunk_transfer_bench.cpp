// Downloads one file through the chunk works from real web servers and reports the
// rate: the production tree (LazyParallelTransferMultipleChunksWork under a
// StandardWorkflow on an AsioWorkManager, a real node selector, curl requests),
// into a preallocated file, every chunk CRC-checked, the file made durable
// (SharedFile::Flush) before the clock stops. Normally started by
// scripts/bench-chunks, which serves the file from local nginx instances.
//
//   ombrix_chunk_bench --source FILE --name NAME --nodes HOST:PORT[,HOST:PORT...]
//                      --dest DIR [--chunk-size BYTES] [--task-threads N]
//                      [--chunk-concurrency N]
//
// FILE is the served copy (read once, before the clock starts, for the chunk
// checksums); it must be reachable at http://HOST:PORT/P/K/V/NAME. Prints one line
// of key=value pairs; the exit status is 0 only when every chunk arrived intact.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "common/crc32.h"
#include "driver_support.h"
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
#include "work/asio_work_manager.h"
#include "work/standard_workflow.h"
#include "workflow/transfer_chunk_works.h"
#include "workflow/transfer_shared_file_data.h"

namespace ombrix {
namespace {

using bench::CpuSeconds;
using bench::Split;

class NoProxyFactory : public http::ProxyFactory {
 public:
  std::shared_ptr<http::Proxy> CreateProxy() override { return std::make_shared<http::EmptyProxy>(); }
};

// Ends the wait at the root's completion or at the first retryable error the
// workflow stops on.
class Finish : public WorkCompleteCallback, public WorkflowRetryableErrorCallback {
 public:
  void OnWorkComplete(const std::shared_ptr<Work>&, const WorkStatus& status) override { Set(status, "complete"); }
  void OnWorkflowRetryableError(const std::shared_ptr<Workflow>&, const std::shared_ptr<Work>&,
                                const WorkStatus& status) override {
    Set(status, "retryable error");
  }
  std::pair<WorkStatus, std::string> Wait() {
    std::unique_lock<std::mutex> hold(lock_);
    done_.wait(hold, [this] { return ended_; });
    return {status_, how_};
  }

 private:
  void Set(const WorkStatus& status, const char* how) {
    std::lock_guard<std::mutex> hold(lock_);
    if (ended_) return;
    ended_ = true;
    status_ = status;
    how_ = how;
    done_.notify_all();
  }
  std::mutex lock_;
  std::condition_variable done_;
  bool ended_ = false;
  WorkStatus status_;
  std::string how_;
};

std::vector<std::uint32_t> ComputeChunkChecksums(const std::string& path, std::uint32_t chunkSize,
                                                 std::uint64_t& size) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("cannot open " + path);
  std::vector<std::uint8_t> buffer(chunkSize);
  std::vector<std::uint32_t> checksums;
  size = 0;
  for (;;) {
    std::size_t filled = 0;
    while (filled < chunkSize) {
      const ssize_t got = ::read(fd, buffer.data() + filled, chunkSize - filled);
      if (got < 0) {
        ::close(fd);
        throw std::runtime_error("cannot read " + path);
      }
      if (got == 0) break;
      filled += static_cast<std::size_t>(got);
    }
    if (filled == 0) break;
    checksums.push_back(Crc32(buffer.data(), filled));
    size += filled;
    if (filled < chunkSize) break;
  }
  ::close(fd);
  return checksums;
}

// The checksums of the source, kept next to it (<source>.crc-<chunk size>: the
// size, then one checksum per chunk) so a profile of the run shows the download only.
std::vector<std::uint32_t> ChunkChecksums(const std::string& path, std::uint32_t chunkSize, std::uint64_t& size) {
  namespace fs = std::filesystem;
  const fs::path cache = path + ".crc-" + std::to_string(chunkSize);
  std::error_code error;
  if (fs::exists(cache, error) && fs::last_write_time(cache, error) >= fs::last_write_time(path, error) && !error) {
    if (FILE* in = std::fopen(cache.c_str(), "rb")) {
      std::vector<std::uint32_t> checksums;
      bool good = std::fread(&size, sizeof size, 1, in) == 1;
      if (good) {
        checksums.resize((size + chunkSize - 1) / chunkSize);
        good = std::fread(checksums.data(), sizeof(std::uint32_t), checksums.size(), in) == checksums.size();
      }
      std::fclose(in);
      if (good && size == fs::file_size(path, error)) return checksums;
    }
  }
  auto checksums = ComputeChunkChecksums(path, chunkSize, size);
  if (FILE* out = std::fopen(cache.c_str(), "wb")) {
    std::fwrite(&size, sizeof size, 1, out);
    std::fwrite(checksums.data(), sizeof(std::uint32_t), checksums.size(), out);
    std::fclose(out);
  }
  return checksums;
}

int Run(int argc, char** argv) {
  std::string source, name, nodesText, dest;
  std::uint32_t chunkSize = 1u << 20;
  TransferSettings settings;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    const std::string value = argv[i + 1];
    if (key == "--source") source = value;
    else if (key == "--name") name = value;
    else if (key == "--nodes") nodesText = value;
    else if (key == "--dest") dest = value;
    else if (key == "--chunk-size") chunkSize = static_cast<std::uint32_t>(std::stoul(value));
    else if (key == "--task-threads") settings.taskThreads = std::stoi(value);
    else if (key == "--chunk-concurrency") settings.chunkConcurrency = static_cast<std::uint32_t>(std::stoul(value));
    else {
      std::cerr << "unknown option " << key << "\n";
      return 2;
    }
  }
  if (source.empty() || name.empty() || nodesText.empty() || dest.empty() || chunkSize == 0) {
    std::cerr << "usage: " << argv[0]
              << " --source FILE --name NAME --nodes HOST:PORT[,...] --dest DIR [--chunk-size BYTES]"
                 " [--task-threads N] [--chunk-concurrency N]\n";
    return 2;
  }

  std::uint64_t size = 0;
  auto checksums = ChunkChecksums(source, chunkSize, size);
  if (size == 0) {
    std::cerr << "empty source\n";
    return 2;
  }
  auto manifest = std::make_shared<StandardFileManifest>(name, chunkSize, size, checksums);

  file::posix::FilesystemImpl filesystem;
  NoProxyFactory proxies;
  http::CurlRequestFactory requests{proxies};
  http::RoundRobinSessionFactory sessions;
  auto transfer = std::make_shared<test::FakeTransferWorkInterface>();
  transfer->params.partnerId = "P";
  transfer->params.packageId = "K";
  transfer->params.versionId = "V";
  transfer->params.preallocate = true;
  transfer->behavior.settings = settings;
  transfer->behavior.filesystem = &filesystem;
  transfer->behavior.requestFactory = &requests;
  ProportionalGamblingTransferOptimizer optimizer{transfer->behavior.settings};
  transfer->behavior.transferOptimizer = &optimizer;
  transfer->SetSession(sessions.CreateSession());
  NodeListManifest::Nodes nodes;
  for (const std::string& authority : Split(nodesText, ',')) {
    nodes.push_back(std::make_shared<StandardNodeManifest>("n" + std::to_string(nodes.size()), authority, "/", 1,
                                                           std::make_shared<NodeStatistics>()));
  }
  transfer->SetNodeList(std::make_shared<StandardNodeListManifest>(nodes));

  // The destination, preallocated as the file works leave it before its chunks run.
  std::filesystem::create_directories(dest);
  std::filesystem::remove(std::filesystem::path(dest) / name);
  auto fileData = std::make_shared<TransferSharedFileData>(name, size);
  auto file = filesystem.OpenFileBeneath(dest, name, file::OpenMode::OpenAlways, true, 0, size - 1);
  if (file->Allocate(size)) fileData->MarkZeroFilled();
  fileData->SetFile(file);

  const unsigned threads = settings.taskThreads >= 1 ? static_cast<unsigned>(settings.taskThreads) : 1u;
  AsioWorkManager executor{threads, false};
  Finish finish;
  auto root = std::make_shared<LazyParallelTransferMultipleChunksWork>(transfer, manifest, fileData);
  root->AddCompleteCallback(&finish);
  auto workflow = StandardWorkflow::Create(root, executor, settings.workflowConcurrency);
  workflow->AddRetryableErrorCallback(&finish);

  const double cpuStart = CpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  if (!workflow->Start()) {
    std::cerr << "workflow did not start\n";
    return 1;
  }
  const auto [status, how] = finish.Wait();
  const auto transferred = std::chrono::steady_clock::now();
  file->Flush();
  const auto stop = std::chrono::steady_clock::now();
  const double cpuSeconds = CpuSeconds() - cpuStart;

  const double seconds = std::chrono::duration<double>(stop - start).count();
  const double flushSeconds = std::chrono::duration<double>(stop - transferred).count();
  const bool intact = status.result == WorkResult::Success && transfer->progress->verified == size;
  std::printf(
      "ok=%d bytes=%llu chunks=%zu chunk_size=%u seconds=%.3f flush_seconds=%.3f cpu_seconds=%.3f "
      "mb_per_s=%.1f chunks_per_s=%.0f task_threads=%d chunk_concurrency=%u\n",
      intact ? 1 : 0, static_cast<unsigned long long>(size), checksums.size(), chunkSize, seconds, flushSeconds,
      cpuSeconds, static_cast<double>(size) / 1e6 / seconds, static_cast<double>(checksums.size()) / seconds,
      settings.taskThreads, settings.chunkConcurrency);
  if (!intact) {
    std::fprintf(stderr, "run ended with %s, result %d, %llu of %llu bytes verified\n", how.c_str(),
                 static_cast<int>(status.result), static_cast<unsigned long long>(transfer->progress->verified.load()),
                 static_cast<unsigned long long>(size));
    return 1;
  }
  // Stop the workflow's threads before the objects they use go away.
  root.reset();
  return 0;
}

}  // namespace
}  // namespace ombrix

int main(int argc, char** argv) {
  try {
    return ombrix::Run(argc, argv);
  } catch (const std::exception& e) {
    std::cerr << "ombrix_chunk_bench: " << e.what() << "\n";
    return 1;
  }
}
