// ombrix-get: the transfer service as a command.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <thread>

#include <boost/property_tree/ptree.hpp>

#include "deployment.h"
#include "transfer/transfer_manifest.h"
#include "transfer/transfer_service.h"

namespace {

constexpr const char* kUsage =
    "Usage: ombrix-get [OPTIONS] PARTNER PACKAGE [VERSION] DESTINATION\n"
    "\n"
    "Downloads version VERSION (default: the current one) of package PACKAGE of\n"
    "partner PARTNER into the folder DESTINATION: every chunk of every file is\n"
    "fetched from the package's content nodes and checked against its CRC-32, and\n"
    "the files are on disk for good before the command reports success. Chunks\n"
    "already in place are checked and kept, so an interrupted download (Ctrl-C)\n"
    "continues where it stopped when the same command runs again.\n"
    "\n"
    "Signed packages: with a trust key (the build's OMBRIX_TRUST_KEY, or the public\n"
    "key file OMBRIX_TRUST_KEY_FILE names) a manifest is taken only with a valid\n"
    "signature by that key, every chunk must also match its SHA-256, and a current\n"
    "version older than one already seen is refused (content unavailable, 1; the\n"
    "reason is in the work log).\n"
    "\n"
    "Options:\n"
    "  --verify           check the installed package in DESTINATION against its\n"
    "                     manifest; download and write nothing\n"
    "  --host HOST[:PORT] the manifest host (default: the build's, see README)\n"
    "  --geolocation URL  the geolocation endpoint (default: the build's)\n"
    "  --json             print the final status as one JSON object on stdout\n"
    "  --quiet            no progress\n"
    "  --help             this text\n"
    "\n"
    "Progress goes to stderr: a redrawn line on a terminal (colour unless NO_COLOR is\n"
    "set), a line per 10 % otherwise.\n"
    "\n"
    "Exit status: 0 complete (or verified), 1-10 the transfer's error: 1 content\n"
    "unavailable, 2 network, 3 out of memory, 4 insufficient space, 5 storage access,\n"
    "6 checksum mismatch (also: a file that fails --verify), 7 storage write, 8 bad\n"
    "request, 9 internal, 10 not offered in this country; 20 interrupted;\n"
    "64 bad arguments.\n";

constexpr int kInterrupted = 20;
constexpr int kUsageError = 64;

std::atomic<bool> interrupted{false};

void OnInterrupt(int) { interrupted = true; }

const char* StateName(ombrix::TransferState state) {
  static const char* const names[] = {"Unknown",      "Initializing", "InitializingPaused", "Initialized", "Transferring",
                                      "TransferringPaused", "Suspended", "Complete", "Canceled"};
  const auto index = static_cast<std::size_t>(state);
  return index < std::size(names) ? names[index] : "Unknown";
}

const char* ErrorName(ombrix::TransferError error) {
  static const char* const names[] = {"None",         "ContentUnavailable", "Network",    "OutOfMemory",
                                      "InsufficientSpace", "StorageAccess",  "ChecksumMismatch", "StorageWrite",
                                      "BadRequest",   "Internal",           "Geofence"};
  const auto index = static_cast<std::size_t>(error);
  return index < std::size(names) ? names[index] : "Internal";
}

// One object of strings, valid UTF-8 JSON, as the transfer records are written.
std::string JsonStatus(const ombrix::TransferStatus& status, double seconds) {
  boost::property_tree::ptree tree;
  tree.put("transferId", status.transferId);
  tree.put("partnerId", status.partnerId);
  tree.put("packageId", status.packageId);
  tree.put("versionId", status.versionId);
  tree.put("destPath", status.destPath);
  tree.put("state", StateName(status.state));
  tree.put("error", ErrorName(status.error));
  tree.put("errorCode", std::to_string(static_cast<int>(status.error)));
  tree.put("run", status.run);
  tree.put("totalBytes", std::to_string(status.totalBytes));
  tree.put("verifiedBytes", std::to_string(status.verifiedBytes));
  tree.put("seconds", std::to_string(seconds));
  return ombrix::WriteRecordJson(tree);
}

std::string Size(std::uint64_t bytes) {
  char text[32];
  if (bytes < 1000 * 1000) {
    std::snprintf(text, sizeof text, "%.0f kB", bytes / 1e3);
  } else if (bytes < 1000ull * 1000 * 1000) {
    std::snprintf(text, sizeof text, "%.1f MB", bytes / 1e6);
  } else {
    std::snprintf(text, sizeof text, "%.2f GB", bytes / 1e9);
  }
  return text;
}

std::string Remaining(std::int32_t seconds) {
  if (seconds < 0) return "";
  char text[32];
  if (seconds >= 3600) {
    std::snprintf(text, sizeof text, "%dh%02dm left", seconds / 3600, seconds % 3600 / 60);
  } else if (seconds >= 60) {
    std::snprintf(text, sizeof text, "%dm%02ds left", seconds / 60, seconds % 60);
  } else {
    std::snprintf(text, sizeof text, "%ds left", seconds);
  }
  return text;
}

// Redrawn at most ten times a second on a terminal; a line per 10 % otherwise.
class Progress {
 public:
  Progress(bool quiet, const ombrix::Environment& environment)
      : quiet(quiet), terminal(::isatty(2) != 0), colour(terminal && !environment.Get("NO_COLOR")) {}

  void Show(const ombrix::TransferStatus& status, bool last = false) {
    if (quiet || status.totalBytes == 0) return;
    const auto now = std::chrono::steady_clock::now();
    if (!last && now - drawnAt < std::chrono::milliseconds(100)) return;
    drawnAt = now;
    const int percent = static_cast<int>(
        std::min<std::uint64_t>(100, status.verifiedBytes * 100 / std::max<std::uint64_t>(1, status.totalBytes)));
    if (!terminal) {
      if (percent / 10 > printedDecile) {
        printedDecile = percent / 10;
        std::cerr << percent << "% of " << Size(status.totalBytes) << "\n";
      }
      return;
    }
    constexpr int width = 30;
    const int filled = percent * width / 100;
    std::string bar = "[" + std::string(filled, '#') + std::string(width - filled, '-') + "]";
    if (colour) bar = "\033[32m" + bar + "\033[0m";
    std::cerr << "\r\033[K" << bar << " " << percent << "%  " << Size(status.verifiedBytes) << " of "
              << Size(status.totalBytes) << "  " << Size(status.bytesPerSecond) << "/s  "
              << Remaining(status.secondsRemaining) << std::flush;
    drawn = true;
  }

  void End() {
    if (drawn) std::cerr << "\n";
    drawn = false;
  }

 private:
  const bool quiet;
  const bool terminal;
  const bool colour;
  int printedDecile = -1;
  bool drawn = false;
  std::chrono::steady_clock::time_point drawnAt{};
};

int Run(int argc, char** argv) {
  bool verify = false, json = false, quiet = false;
  ombrix::TransferSettings settings;
  settings.manifestHost = ombrix::deployment::kManifestHost;
  settings.geolocationUrl = ombrix::deployment::kGeolocationUrl;
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--help" || word == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (word == "--verify") {
      verify = true;
    } else if (word == "--json") {
      json = true;
    } else if (word == "--quiet") {
      quiet = true;
    } else if (word == "--host" || word == "--geolocation") {
      if (i + 1 >= argc || argv[i + 1][0] == '\0') throw std::invalid_argument(word + " needs a value");
      (word == "--host" ? settings.manifestHost : settings.geolocationUrl) = argv[++i];
    } else if (word.rfind("--", 0) == 0) {
      throw std::invalid_argument("unknown option " + word);
    } else {
      words.push_back(word);
    }
  }
  if (words.size() != 3 && words.size() != 4) throw std::invalid_argument("name PARTNER PACKAGE [VERSION] DESTINATION");
  const std::string version = words.size() == 4 ? words[2] : "?";
  std::error_code error;
  const std::string destination = std::filesystem::absolute(words.back(), error).lexically_normal().string();
  if (error || destination.empty()) throw std::invalid_argument("bad destination " + words.back());

  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);

  const ombrix::Environment environment = ombrix::Environment::Current();
  ombrix::ServiceEnvironment serviceEnvironment;
  serviceEnvironment.environment = environment;
  ombrix::TransferService service(settings, serviceEnvironment);
  Progress progress(quiet || json, environment);
  const auto start = std::chrono::steady_clock::now();
  ombrix::TransferStatus status = verify ? service.CreateVerifyTransfer(words[0], words[1], version)
                                         : service.CreateTransfer(words[0], words[1], version);
  const std::string id = status.transferId;
  bool started = false;
  while (!interrupted) {
    if (ombrix::IsTransferFinished(status) || status.error != ombrix::TransferError::None) break;
    if (status.state == ombrix::TransferState::Initialized && !started) {
      started = true;
      status = service.StartTransfer(id, destination);
      continue;
    }
    progress.Show(status);
    // Reading the status is cheap; a short pause notices the end soon.
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    status = service.GetStatus(id);
  }
  progress.Show(status, true);
  progress.End();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  int code = static_cast<int>(status.error);
  if (interrupted && status.state != ombrix::TransferState::Complete && status.error == ombrix::TransferError::None) {
    code = kInterrupted;
    if (!quiet) std::cerr << "ombrix-get: interrupted; run the same command again to continue\n";
  } else if (code == 0 && status.state != ombrix::TransferState::Complete) {
    code = static_cast<int>(ombrix::TransferError::Internal);
  }
  // The record is not needed by the next run, which checks what is on disk; the
  // files stay.
  if (!id.empty()) service.CancelTransfer(id, false);
  if (json) std::cout << JsonStatus(status, seconds);
  if (code != 0 && code != kInterrupted && !quiet) {
    std::cerr << "ombrix-get: " << (verify ? "verification" : "download") << " failed: " << ErrorName(status.error)
              << " (" << code << ")\n";
  } else if (code == 0 && !quiet && !json) {
    std::cerr << "ombrix-get: " << (verify ? "verified " : "downloaded ") << destination << "\n";
  }
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::invalid_argument& e) {
    std::cerr << "ombrix-get: " << e.what() << " (see ombrix-get --help)\n";
    return kUsageError;
  } catch (const std::exception& e) {
    std::cerr << "ombrix-get: " << e.what() << "\n";
    return static_cast<int>(ombrix::TransferError::Internal);
  }
}
