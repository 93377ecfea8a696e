// Speed of the file storage write and verify paths: 1 GiB in 1 MiB chunks written
// through mapped views, through write caches and with plain pwrite (the limit), and
// the verify path (Fetch then Process over mapped ranges of a warm file).
//
//   build/release/bench/ombrix_bench --benchmark_filter=File
//
// Files go to a fresh folder below $TMPDIR (or /tmp) that is removed at the end.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <isa-l.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "file/posix/filesystem_impl.h"
#include "file/sequential_write_cache.h"
#include "file/shared_file.h"

namespace {

using ombrix::file::OpenMode;
using ombrix::file::SharedFile;

constexpr std::uint64_t kFileSize = 1ull << 30;
constexpr std::uint32_t kChunk = 1u << 20;
constexpr std::uint64_t kChunks = kFileSize / kChunk;

// A folder removed with its files when the process ends.
class BenchFolder {
 public:
  BenchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ombrix-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~BenchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string str() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

BenchFolder& Folder() {
  static BenchFolder folder;
  return folder;
}

ombrix::file::posix::FilesystemImpl& Filesystem() {
  static ombrix::file::posix::FilesystemImpl filesystem;
  return filesystem;
}

const std::vector<std::uint8_t>& Source() {
  static const std::vector<std::uint8_t> bytes = [] {
    std::vector<std::uint8_t> data(kChunk);
    for (std::uint32_t i = 0; i < kChunk; ++i) data[i] = static_cast<std::uint8_t>(i * 131 + (i >> 12));
    return data;
  }();
  return bytes;
}

std::shared_ptr<SharedFile> FreshFile(benchmark::State& state, const std::string& name) {
  state.PauseTiming();
  Filesystem().Remove(Folder().str(), name, false, false);
  auto file = Filesystem().OpenFile(Folder().str(), name, OpenMode::CreateNew, true, 0, kFileSize - 1);
  ::sync();
  state.ResumeTiming();
  return file;
}

void Finish(benchmark::State& state, const std::string& name) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileSize));
  Filesystem().Remove(Folder().str(), name, false, false);
}

// Every chunk through its own mapped view: map, copy in, Flush the view, release.
void BM_FileWriteMappedViews(benchmark::State& state) {
  const auto& source = Source();
  for (auto _ : state) {
    auto file = FreshFile(state, "views");
    file->Allocate(kFileSize);
    for (std::uint64_t i = 0; i < kChunks; ++i) {
      auto view = file->Map(i * kChunk, (i + 1) * kChunk - 1);
      view->Write(source.data(), kChunk);
      view->Flush();
    }
    file->Flush();
  }
  Finish(state, "views");
}

// Every chunk through a write cache: fill the buffer, write it through, release.
void BM_FileWriteCaches(benchmark::State& state) {
  const auto& source = Source();
  for (auto _ : state) {
    auto file = FreshFile(state, "caches");
    for (std::uint64_t i = 0; i < kChunks; ++i) {
      auto cache = file->CreateWriteCache(i * kChunk, (i + 1) * kChunk - 1, 60);
      cache->Write(source.data(), kChunk);
      cache->Flush();
    }
    file->Flush();
  }
  Finish(state, "caches");
}

// The limit: plain pwrite of the same chunks, then one fdatasync.
void BM_FileWritePlainPwrite(benchmark::State& state) {
  const auto& source = Source();
  const std::string path = Folder().str() + "/pwrite";
  for (auto _ : state) {
    state.PauseTiming();
    ::unlink(path.c_str());
    ::sync();
    state.ResumeTiming();
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    for (std::uint64_t i = 0; i < kChunks; ++i) {
      if (::pwrite(fd, source.data(), kChunk, static_cast<off_t>(i * kChunk)) != kChunk) state.SkipWithError("pwrite");
    }
    ::fdatasync(fd);
    ::close(fd);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileSize));
  ::unlink(path.c_str());
}

// The verify path over a warm file: map each chunk, Fetch, Process with CRC-32.
void BM_FileVerifyMappedRanges(benchmark::State& state) {
  const auto& source = Source();
  auto file = Filesystem().OpenFile(Folder().str(), "verify", OpenMode::OpenAlways, true, 0, kFileSize - 1);
  if (file->GetSize() != kFileSize) {
    for (std::uint64_t i = 0; i < kChunks; ++i) file->Write(source.data(), kChunk);
  }
  std::uint32_t crc = 0;
  for (auto _ : state) {
    for (std::uint64_t i = 0; i < kChunks; ++i) {
      auto view = file->Map(i * kChunk, (i + 1) * kChunk - 1);
      view->Fetch();
      view->Process([&](std::uint8_t* data, std::uint32_t size) { crc ^= crc32_gzip_refl(0, data, size); });
    }
  }
  benchmark::DoNotOptimize(crc);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileSize));
}

BENCHMARK(BM_FileWritePlainPwrite)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_FileWriteMappedViews)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_FileWriteCaches)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_FileVerifyMappedRanges)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

}  // namespace
