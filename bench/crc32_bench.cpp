// Speed of the chunk checksum: Crc32 (ISA-L) against Boost.CRC's crc_32_type, the
// reference implementation, over 1 MiB held in memory (the size of a chunk).
//
//   build/release/bench/ombrix_bench --benchmark_filter=Crc32
#include <benchmark/benchmark.h>

#include <boost/crc.hpp>
#include <cstdint>
#include <random>
#include <vector>

#include "common/crc32.h"

namespace {

constexpr std::size_t kBytes = 1u << 20;

const std::vector<std::uint8_t>& Data() {
  static const std::vector<std::uint8_t> bytes = [] {
    std::vector<std::uint8_t> filled(kBytes);
    std::mt19937 generator(1);
    for (auto& byte : filled) byte = static_cast<std::uint8_t>(generator());
    return filled;
  }();
  return bytes;
}

void BM_Crc32IsaL(benchmark::State& state) {
  const auto& bytes = Data();
  for (auto _ : state) benchmark::DoNotOptimize(ombrix::Crc32(bytes.data(), bytes.size()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBytes));
}

void BM_Crc32BoostCrc(benchmark::State& state) {
  const auto& bytes = Data();
  for (auto _ : state) {
    boost::crc_32_type crc;
    crc.process_bytes(bytes.data(), bytes.size());
    benchmark::DoNotOptimize(crc.checksum());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBytes));
}

}  // namespace

BENCHMARK(BM_Crc32IsaL);
BENCHMARK(BM_Crc32BoostCrc);
