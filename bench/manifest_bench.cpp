// Reading a package manifest of many files: XML parsing plus record reading.
#include <sstream>
#include <string>

#include <benchmark/benchmark.h>
#include <boost/property_tree/ptree.hpp>

#include "manifest/manifest_document.h"
#include "manifest/package_manifest.h"

namespace {

std::string PackageDocument(int files) {
  std::string text =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<package>\n  <id>bench</id>\n"
      "  <name>Bench</name>\n  <partnerId>p</partnerId>\n  <versionId>1</versionId>\n"
      "  <run>bin/file0.bin</run>\n  <files>\n";
  for (int i = 0; i < files; ++i) {
    // 4 chunks of 1 MiB each, the last one short.
    text += "    <file>\n      <path>bin/file" + std::to_string(i) +
            ".bin</path>\n      <chunksize>1048576</chunksize>\n      <size>4000000</size>\n"
            "      <checksums>1c291ca3deadbeef0123456789abcdef</checksums>\n    </file>\n";
  }
  text += "  </files>\n</package>\n";
  return text;
}

void BM_ReadPackageManifest(benchmark::State& state) {
  const std::string document = PackageDocument(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    std::istringstream stream(document);
    boost::property_tree::ptree tree;
    ombrix::ReadXmlDocument(stream, tree);
    ombrix::StandardPackageManifest package;
    package.Read(tree);
    benchmark::DoNotOptimize(package.GetFiles().data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * document.size()));
  state.counters["files"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_ReadPackageManifest)->Arg(10000)->Unit(benchmark::kMillisecond);

// The record rules alone, on a tree parsed once.
void BM_PackageRecordRead(benchmark::State& state) {
  const std::string document = PackageDocument(static_cast<int>(state.range(0)));
  std::istringstream stream(document);
  boost::property_tree::ptree tree;
  ombrix::ReadXmlDocument(stream, tree);
  for (auto _ : state) {
    ombrix::StandardPackageManifest package;
    package.Read(tree);
    benchmark::DoNotOptimize(package.GetFiles().data());
  }
}
BENCHMARK(BM_PackageRecordRead)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
