#include "events/log_manager.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <filesystem>
#include <limits>
#include <system_error>
#include <tuple>
#include <utility>
#include <vector>

#include "file/file_exceptions.h"
#include "file/filesystem.h"

namespace ombrix {

namespace {

constexpr std::size_t kStampedNameLength = 27;  // "Log.YYYY.MM.DD.hh.mm.ss.txt"

std::string FormatUtc(std::chrono::system_clock::time_point time, const char* format) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
  std::tm parts{};
  gmtime_r(&seconds, &parts);
  char text[64];
  const std::size_t length = std::strftime(text, sizeof text, format, &parts);
  return std::string(text, length);
}

bool AllDigits(const std::string& text, std::size_t first, std::size_t count) {
  if (first + count > text.size()) return false;
  for (std::size_t i = first; i < first + count; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

// The number after the stamped name (0 for none), saturating, for ordering.
std::uint64_t CollisionNumber(const std::string& name) {
  std::uint64_t number = 0;
  for (std::size_t i = kStampedNameLength + 1; i < name.size(); ++i) {
    const std::uint64_t digit = static_cast<std::uint64_t>(name[i] - '0');
    if (number > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) {
      return std::numeric_limits<std::uint64_t>::max();
    }
    number = number * 10 + digit;
  }
  return number;
}

std::string LastElement(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Creates the folder when missing and makes it private. False when it is not a
// real directory: a log is never written through a link planted in its place.
bool PreparePrivateFolder(file::Filesystem& filesystem, const std::string& folder) {
  filesystem.EnsureDirectory(folder);
  std::error_code error;
  const auto status = std::filesystem::symlink_status(folder, error);
  if (error || !std::filesystem::is_directory(status)) return false;
  if ((status.permissions() & std::filesystem::perms::all) != std::filesystem::perms::owner_all) {
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace, error);
  }
  return true;
}

}  // namespace

bool IsLogFileName(const std::string& name) {
  // "Log." digits(4) "." digits(2) x5 ".txt" ["." digits]
  if (name.size() < kStampedNameLength || name.compare(0, 4, "Log.") != 0) return false;
  if (!AllDigits(name, 4, 4)) return false;
  for (std::size_t field = 0; field < 5; ++field) {
    const std::size_t dot = 8 + field * 3;
    if (name[dot] != '.' || !AllDigits(name, dot + 1, 2)) return false;
  }
  if (name.compare(23, 4, ".txt") != 0) return false;
  if (name.size() == kStampedNameLength) return true;
  return name[kStampedNameLength] == '.' && name.size() > kStampedNameLength + 1 &&
         AllDigits(name, kStampedNameLength + 1, name.size() - kStampedNameLength - 1);
}

LogManager::LogManager(std::int32_t mask, std::string logsFolder, file::Filesystem& filesystem,
                       LogLimits limits, Clock clock)
    : EventManager(2),
      mask(mask),
      logsFolder(std::move(logsFolder)),
      filesystem(filesystem),
      limits(limits),
      clock(clock ? std::move(clock) : Clock([] { return std::chrono::system_clock::now(); })) {}

LogManager::~LogManager() { DrainEntries(); }

void LogManager::Write(std::int32_t category, const std::string& text) {
  if (!IsLogged(category)) return;
  try {
    std::lock_guard<std::mutex> hold(lock);
    if (fileFull) return;
    if (!file && !OpenLogFile()) return;
    std::string line = FormatUtc(clock(), "[%Y-%m-%d %H:%M:%S] ");
    line += text;
    if (line.size() > limits.maxFileBytes || fileBytes > limits.maxFileBytes - line.size()) {
      fileFull = true;
      return;
    }
    // One line is far below 4 GiB (documents are small); a larger one is dropped.
    if (line.size() > std::numeric_limits<std::uint32_t>::max()) return;
    file->Write(line.data(), static_cast<std::uint32_t>(line.size()));
    fileBytes += line.size();
  } catch (...) {
    // Logging never reports its own failures: the entry is lost.
  }
}

bool LogManager::OpenLogFile() {
  const std::string temp = filesystem.GetTempPath();
  if (temp.empty()) return false;
  const std::string folder = file::Filesystem::Join(temp, logsFolder);
  if (!PreparePrivateFolder(filesystem, folder)) return false;
  for (unsigned n = 0; n < limits.maxNameAttempts; ++n) {
    std::string name = FormatUtc(clock(), "Log.%Y.%m.%d.%H.%M.%S.txt");
    if (n > 0) name += "." + std::to_string(n);
    std::shared_ptr<file::SharedFile> opened;
    try {
      opened = filesystem.OpenFile(temp, file::Filesystem::Join(logsFolder, name),
                                   file::OpenMode::CreateNew, false, 0,
                                   std::numeric_limits<std::uint64_t>::max());
    } catch (const file::InUseException&) {
      continue;
    }
    std::error_code error;
    std::filesystem::permissions(file::Filesystem::Join(folder, name),
                                 std::filesystem::perms::owner_read |
                                     std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::replace, error);
    file = std::move(opened);
    fileBytes = 0;
    fileFull = false;
    try {
      PruneOldLogs(folder, name);
    } catch (...) {
      // Old files stay until the next run; this run's log is open all the same.
    }
    return true;
  }
  return false;
}

void LogManager::PruneOldLogs(const std::string& folder, const std::string& current) {
  struct Entry {
    std::string stamped;
    std::uint64_t number;
    std::string name;
  };
  std::vector<Entry> logs;
  auto iterator = filesystem.OpenDirectory(folder);
  std::string path;
  while (iterator->Next(path)) {
    std::string name = LastElement(path);
    if (!IsLogFileName(name)) continue;
    if (filesystem.GetEntryKind(path) != file::EntryKind::RegularFile) continue;
    logs.push_back({name.substr(0, kStampedNameLength), CollisionNumber(name), std::move(name)});
  }
  if (logs.size() <= limits.maxFiles) return;
  std::sort(logs.begin(), logs.end(), [](const Entry& a, const Entry& b) {
    return std::tie(a.stamped, a.number) < std::tie(b.stamped, b.number);
  });
  const std::size_t excess = logs.size() - limits.maxFiles;
  for (std::size_t i = 0; i < excess; ++i) {
    if (logs[i].name == current) continue;  // a clock set back must not cost this run its log
    try {
      filesystem.Remove(file::Filesystem::Join(folder, logs[i].name), false, false);
    } catch (...) {
      // A file that cannot be removed is left; the others still go.
    }
  }
}

}  // namespace ombrix
