// Downloads whole packages through the transfer service from real web servers and
// reports the rate, and how fast the status of a transfer in flight can be read.
// Normally started by scripts/bench-package, which serves the content from local
// nginx instances.
//
//   ombrix_package_bench --publish WWW --package K --nodes HOST:PORT[,...]
//                        [--chunk-size BYTES]
//     Writes the documents the service reads for the files below WWW/P/K/V/: the
//     package manifest (WWW/manifests/K/current.xml), the node list
//     (WWW/nodes/P.xml) and a geolocation answer (WWW/geo.json).
//
//   ombrix_package_bench --host HOST:PORT --package K --dest DIR [--poll-ms N]
//     Downloads package P/K into DIR (which must not exist yet) with the service,
//     reading the status every N milliseconds (default 100, as the updater's
//     monitor does; 0 reads it back to back) on a thread of its own. The clock runs
//     from StartTransfer to Complete, which the service reports only once every file
//     is durable. Prints one line of key=value pairs; the exit status is 0 only
//     when the transfer completed.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/crc32.h"
#include "driver_support.h"
#include "transfer/transfer_service.h"

namespace ombrix {
namespace {

using bench::CpuSeconds;
using bench::Split;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Hex CRC-32 of every chunk of the file, in order.
std::string ChunkChecksums(const fs::path& path, std::uint32_t chunkSize) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> buffer(chunkSize);
  std::string hex;
  char text[9];
  while (in.read(buffer.data(), chunkSize) || in.gcount() > 0) {
    std::snprintf(text, sizeof text, "%08x", Crc32(buffer.data(), static_cast<std::size_t>(in.gcount())));
    hex += text;
  }
  return hex;
}

void WriteText(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
}

int Publish(const fs::path& www, const std::string& package, const std::string& nodesText,
            std::uint32_t chunkSize) {
  const fs::path content = www / "P" / package / "V";
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(content)) {
    if (entry.is_regular_file()) files.push_back(fs::relative(entry.path(), content));
  }
  if (files.empty()) throw std::runtime_error("no files below " + content.string());
  std::sort(files.begin(), files.end());
  std::string xml = "<package><id>" + package + "</id><name>" + package + "</name><partnerId>P</partnerId>"
                    "<versionId>V</versionId><run>" + files.front().generic_string() + "</run><files>";
  for (const auto& file : files) {
    xml += "<file><path>" + file.generic_string() + "</path><chunksize>" + std::to_string(chunkSize) +
           "</chunksize><size>" + std::to_string(fs::file_size(content / file)) + "</size><checksums>" +
           ChunkChecksums(content / file, chunkSize) + "</checksums></file>";
  }
  WriteText(www / "manifests" / package / "current.xml", xml + "</files></package>");
  std::string nodes = "<ArrayOfNodeInfo>";
  int n = 0;
  for (const std::string& authority : Split(nodesText, ',')) {
    nodes += "<NodeInfo><NodeId>n" + std::to_string(++n) + "</NodeId><Host>" + authority +
             "</Host><Path>/</Path></NodeInfo>";
  }
  WriteText(www / "nodes" / "P.xml", nodes + "</ArrayOfNodeInfo>");
  WriteText(www / "geo.json", R"({"ip":"192.0.2.1","country_code":"NO"})");
  return 0;
}

int Download(const std::string& host, const std::string& package, const fs::path& dest, int pollMs) {
  if (fs::exists(dest)) throw std::runtime_error(dest.string() + " exists already");
  fs::create_directories(dest.parent_path());
  const fs::path userFolder = dest.string() + ".user";
  fs::remove_all(userFolder);
  fs::create_directories(userFolder);

  TransferSettings settings;
  settings.manifestHost = host;
  settings.geolocationUrl = "http://" + host + "/geo.json";
  ServiceEnvironment environment;
  environment.environment = Environment({{"TMPDIR", userFolder.string()}});
  environment.analyticsEventsUrl = "http://" + host + "/analytics/events";
  environment.analyticsTransfersUrl = "http://" + host + "/analytics/transfers";
  TransferService service(settings, environment);

  const std::string id = service.CreateTransfer("P", package).transferId;
  const auto waitWhile = [&](TransferState state) {
    TransferStatus status = service.GetStatus(id);
    while (status.state == state) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      status = service.GetStatus(id);
    }
    return status;
  };
  if (const TransferStatus status = waitWhile(TransferState::Initializing); status.state != TransferState::Initialized) {
    std::cerr << "initialization ended in state " << static_cast<int>(status.state) << ", error "
              << static_cast<int>(status.error) << "\n";
    return 1;
  }

  // The reader stands in for the updater's monitor; its calls are what is measured.
  std::atomic<bool> done{false};
  std::uint64_t calls = 0;
  double slowest = 0;
  std::thread reader([&] {
    while (!done.load()) {
      const auto before = Clock::now();
      const TransferStatus status = service.GetStatus(id);
      slowest = std::max(slowest, std::chrono::duration<double>(Clock::now() - before).count());
      ++calls;
      if (IsTransferFinished(status) || status.error != TransferError::None) break;
      if (pollMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(pollMs));
    }
  });

  const double cpuStart = CpuSeconds();
  const auto start = Clock::now();
  TransferStatus status = service.StartTransfer(id, dest.string());
  while (!IsTransferFinished(status) && status.error == TransferError::None) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    status = service.GetStatus(id);
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const double cpuSeconds = CpuSeconds() - cpuStart;
  done = true;
  reader.join();

  const bool complete = status.state == TransferState::Complete;
  std::printf("ok=%d bytes=%llu seconds=%.3f cpu_seconds=%.3f mb_per_s=%.1f status_calls=%llu "
              "status_calls_per_s=%.0f status_slowest_us=%.0f poll_ms=%d\n",
              complete ? 1 : 0, static_cast<unsigned long long>(status.totalBytes), seconds, cpuSeconds,
              static_cast<double>(status.totalBytes) / 1e6 / seconds, static_cast<unsigned long long>(calls),
              static_cast<double>(calls) / seconds, slowest * 1e6, pollMs);
  if (!complete) {
    std::cerr << "transfer ended in state " << static_cast<int>(status.state) << ", error "
              << static_cast<int>(status.error) << "\n";
    return 1;
  }
  service.CancelTransfer(id, false);  // forgets the record; the files stay
  return 0;
}

int Run(int argc, char** argv) {
  std::string publish, host, package, nodes, dest;
  std::uint32_t chunkSize = 1u << 20;
  int pollMs = 100;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    const std::string value = argv[i + 1];
    if (key == "--publish") publish = value;
    else if (key == "--host") host = value;
    else if (key == "--package") package = value;
    else if (key == "--nodes") nodes = value;
    else if (key == "--dest") dest = value;
    else if (key == "--chunk-size") chunkSize = static_cast<std::uint32_t>(std::stoul(value));
    else if (key == "--poll-ms") pollMs = std::stoi(value);
    else {
      std::cerr << "unknown option " << key << "\n";
      return 2;
    }
  }
  if (!publish.empty() && !package.empty() && !nodes.empty() && chunkSize > 0) {
    return Publish(publish, package, nodes, chunkSize);
  }
  if (!host.empty() && !package.empty() && !dest.empty() && pollMs >= 0) return Download(host, package, dest, pollMs);
  std::cerr << "usage: " << argv[0]
            << " --publish WWW --package K --nodes HOST:PORT[,...] [--chunk-size BYTES]\n"
               "       "
            << argv[0] << " --host HOST:PORT --package K --dest DIR [--poll-ms N]\n";
  return 2;
}

}  // namespace
}  // namespace ombrix

int main(int argc, char** argv) {
  try {
    return ombrix::Run(argc, argv);
  } catch (const std::exception& e) {
    std::cerr << "ombrix_package_bench: " << e.what() << "\n";
    return 1;
  }
}
