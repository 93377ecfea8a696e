// Speed of the HTTP client on loopback: 1 GiB requested in 1 MiB ranges over one
// session from the in-process test server, written into memory and into a mapped
// file. Counters:
//   perform_ms  time inside Request::Perform (libcurl plus our callbacks)
//   writer_ms   time inside the body writer (our copy into the destination)
//   outside_curl_pct  share of the wall time not spent in libcurl:
//                     (wall - perform + writer) / wall
//   writer_calls      body blocks handed to the writer per GiB
// BM_HttpRangesIntoMemory's argument is RequestOptions::receiveBufferBytes (0 =
// libcurl's 16 KiB default): a larger buffer saves socket reads, but libcurl 7.88
// still hands the body over in blocks of at most 16 KiB.
//
//   build/release/bench/ombrix_bench --benchmark_filter=Http
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "file/bounded_data.h"
#include "file/posix/filesystem_impl.h"
#include "file/shared_file.h"
#include "http/bounded_data_writer.h"
#include "http/curl_request_factory.h"
#include "http/session_factory.h"
#include "support/test_http_server.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace ombrix;

constexpr std::uint64_t kTotal = 1ull << 30;
constexpr std::uint64_t kRange = 1ull << 20;
constexpr std::uint64_t kRanges = kTotal / kRange;

std::shared_ptr<const std::string> Content() {
  static const auto content = [] {
    auto bytes = std::make_shared<std::string>(kTotal, '\0');
    for (std::uint64_t i = 0; i < kRange; ++i) (*bytes)[i] = static_cast<char>(i * 131 + (i >> 12));
    for (std::uint64_t block = 1; block < kRanges; ++block) {
      std::memcpy(bytes->data() + block * kRange, bytes->data(), kRange);
      (*bytes)[block * kRange] = static_cast<char>(block);
    }
    return std::shared_ptr<const std::string>(std::move(bytes));
  }();
  return content;
}

// A range of a caller's memory buffer, addressed by absolute positions.
class BufferRange : public file::BoundedData {
 public:
  BufferRange(char* base, std::uint64_t first, std::uint64_t last)
      : BoundedData(first, last), base_(base), position_(first) {}
  std::uint64_t GetPosition() override { return position_; }
  void SetPosition(std::uint64_t position) override { position_ = position; }
  std::uint32_t Read(void*, std::uint32_t) override { return 0; }
  std::uint32_t Write(const void* data, std::uint32_t count) override {
    CheckBounds(position_, position_ + count - 1);
    std::memcpy(base_ + position_, data, count);
    position_ += count;
    return count;
  }

 private:
  char* base_;
  std::uint64_t position_;
};

// Measures the time our writer takes.
class TimedWriter : public http::WriteCallback {
 public:
  explicit TimedWriter(file::BoundedData& target) : inner_(target) {}
  http::RequestResult Write(const char* data, std::size_t length) override {
    const auto start = Clock::now();
    http::RequestResult result = inner_.Write(data, length);
    spent += Clock::now() - start;
    ++calls;
    return result;
  }
  Clock::duration spent{};
  std::uint64_t calls = 0;

 private:
  http::BoundedDataWriter inner_;
};

struct Fixture {
  Fixture() { server.SetContent("/blob", Content()); }
  ombrix::test::TestHttpServer server;
  http::EmptyProxy proxy;
  struct Factory : http::ProxyFactory {
    std::shared_ptr<http::Proxy> CreateProxy() override { return std::make_shared<http::EmptyProxy>(); }
  } proxies;
  http::CurlRequestFactory factory{proxies};
  http::RoundRobinSessionFactory sessions;
};

// Downloads every range through one session; `target(i)` gives the destination
// of range i. Returns false on the first failed request.
struct Totals {
  Clock::duration perform{};
  Clock::duration writer{};
  std::uint64_t writerCalls = 0;
};

template <typename TargetFor>
bool DownloadAll(Fixture& fixture, TargetFor targetFor, Totals& totals,
                 std::uint32_t receiveBufferBytes = 0) {
  auto session = fixture.sessions.CreateSession();
  const std::string url = fixture.server.Url("/blob");
  for (std::uint64_t i = 0; i < kRanges; ++i) {
    auto target = targetFor(i);
    TimedWriter timed(*target);
    http::RequestOptions options(url, timed);
    options.rangeFirst = i * kRange;
    options.rangeLast = options.rangeFirst + kRange - 1;
    options.receiveBufferBytes = receiveBufferBytes;
    auto request = fixture.factory.CreateRequest(options, session);
    const auto start = Clock::now();
    const http::RequestResult result = request->Perform();
    totals.perform += Clock::now() - start;
    totals.writer += timed.spent;
    totals.writerCalls += timed.calls;
    if (result.state != http::State::Complete || result.bytesReceived != kRange) return false;
  }
  return true;
}

void Report(benchmark::State& state, Clock::duration wall, const Totals& totals) {
  using ms = std::chrono::duration<double, std::milli>;
  const double iterations = static_cast<double>(state.iterations());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kTotal));
  state.counters["perform_ms"] = ms(totals.perform).count() / iterations;
  state.counters["writer_ms"] = ms(totals.writer).count() / iterations;
  state.counters["writer_calls"] = static_cast<double>(totals.writerCalls) / iterations;
  state.counters["outside_curl_pct"] =
      100.0 * ms(wall - totals.perform + totals.writer).count() / ms(wall).count();
}

void BM_HttpRangesIntoMemory(benchmark::State& state) {
  Fixture fixture;
  std::string destination(kTotal, '\0');
  const auto receiveBufferBytes = static_cast<std::uint32_t>(state.range(0));
  Clock::duration wall{};
  Totals totals;
  for (auto _ : state) {
    const auto start = Clock::now();
    const bool ok = DownloadAll(
        fixture,
        [&](std::uint64_t i) {
          return std::make_unique<BufferRange>(destination.data(), i * kRange, (i + 1) * kRange - 1);
        },
        totals, receiveBufferBytes);
    wall += Clock::now() - start;
    if (!ok) state.SkipWithError("a request failed");
  }
  if (destination != *Content()) state.SkipWithError("content differs");
  Report(state, wall, totals);
}

// state.range(0) = 1: every view is prefetched (Fetch) before its request, as the
// chunk works do; 0: the pages fault in while libcurl delivers the body.
void BM_HttpRangesIntoMappedFile(benchmark::State& state) {
  const bool prefetch = state.range(0) != 0;
  Fixture fixture;
  std::string pattern = (std::filesystem::temp_directory_path() / "ombrix-http-bench-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    state.SkipWithError("mkdtemp failed");
    return;
  }
  const std::string folder = pattern;
  file::posix::FilesystemImpl filesystem;
  Clock::duration wall{};
  Totals totals;
  for (auto _ : state) {
    state.PauseTiming();
    filesystem.RemoveFile(folder, "blob", false);
    auto file = filesystem.OpenFile(folder, "blob", file::OpenMode::CreateNew, true, 0, kTotal - 1);
    file->Allocate(kTotal);
    state.ResumeTiming();
    const auto start = Clock::now();
    const bool ok = DownloadAll(
        fixture,
        [&](std::uint64_t i) {
          auto view = file->Map(i * kRange, (i + 1) * kRange - 1);
          if (prefetch) view->Fetch();
          return view;
        },
        totals);
    file->Flush();
    wall += Clock::now() - start;
    if (!ok) state.SkipWithError("a request failed");
  }
  Report(state, wall, totals);
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

BENCHMARK(BM_HttpRangesIntoMemory)->Arg(0)->Arg(16 << 10)->Arg(512 << 10)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_HttpRangesIntoMappedFile)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
