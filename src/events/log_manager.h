// The work log's file: one JSON line per entry, in a private folder below the
// temporary folder, with old files pruned and the size of one file capped.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "events/event_manager.h"

namespace ombrix {

namespace file {
class Filesystem;
class SharedFile;
}  // namespace file

// Categories of log entries; an entry is written when its category shares a bit
// with the manager's mask.
inline constexpr std::int32_t kLogTransferEvents = 1;   // transfer events, service start
inline constexpr std::int32_t kLogWorkFailures = 2;     // RetryableError or Error completions
inline constexpr std::int32_t kLogWorkRetries = 4;      // a simple work's retry
inline constexpr std::int32_t kLogWorkCompletions = 8;  // every other completion
inline constexpr std::int32_t kLogMarked = 16;          // added for marked callbacks

// What keeps the logs from growing without bound.
struct LogLimits {
  std::size_t maxFiles = 20;                    // newest log files kept, the new one included
  std::uint64_t maxFileBytes = 32ull << 20;     // a file is not written past this size
  unsigned maxNameAttempts = 100;               // names tried before giving up on a file
};

// Guarantees:
// - Write serializes on the manager's lock, so lines never interleave; each line
//   is "[%Y-%m-%d %H:%M:%S] " (UTC, at writing time), the text, and nothing else.
// - The file is created at the first entry that passes the mask, as
//   "Log.%Y.%m.%d.%H.%M.%S.txt" (UTC) or, when that name is taken, with ".1",
//   ".2", ... appended (at most maxNameAttempts names). With a mask of 0 no file
//   is ever created.
// - The logs folder is private (0700, tightened when it already exists) and each
//   log file is 0600: they hold paths and hosts. A logs folder that is not a real
//   directory (a symbolic link, a file) is not written into.
// - When a file is created, the log files of earlier runs beyond the newest
//   maxFiles are removed. Only names of the log pattern are ever removed.
// - A line that would take the file past maxFileBytes is dropped, and so is
//   every later line of this run.
// - With no known temporary folder every entry is dropped: a log is never opened
//   relative to the working folder.
// - Nothing ever throws out of Write: a failure loses that entry, and a failed
//   open is tried again at the next entry.
// Subclasses drain the executor in their destructor before their own members go;
// this destructor drains it too, so no entry runs against a dismantled manager.
class LogManager : public EventManager {
 public:
  using Clock = std::function<std::chrono::system_clock::time_point()>;

  // `logsFolder` is relative to the filesystem's temporary folder; the filesystem
  // must outlive the manager. `clock` (the system clock when empty) stamps names
  // and lines.
  LogManager(std::int32_t mask, std::string logsFolder, file::Filesystem& filesystem,
             LogLimits limits = {}, Clock clock = {});
  ~LogManager() override;

  std::int32_t GetMask() const { return mask; }
  bool IsLogged(std::int32_t category) const { return (category & mask) != 0; }

  // Writes one line, unless the category fails the mask. Thread-safe.
  void Write(std::int32_t category, const std::string& text);

 protected:
  // Runs every queued entry (and those they queue) to its end and joins the
  // executor's threads. Called from the destructors; never from a log thread.
  void DrainEntries() { executor.Drain(); }

 private:
  bool OpenLogFile();                              // with lock held
  void PruneOldLogs(const std::string& folder, const std::string& current);  // lock held

  std::mutex lock;
  const std::int32_t mask;
  const std::string logsFolder;
  file::Filesystem& filesystem;
  const LogLimits limits;
  const Clock clock;
  std::shared_ptr<file::SharedFile> file;  // guarded by lock
  std::uint64_t fileBytes = 0;             // guarded by lock
  bool fileFull = false;                   // guarded by lock
};

// Whether `name` is one the log manager gives its files
// ("Log.YYYY.MM.DD.hh.mm.ss.txt", optionally followed by "." and a number).
bool IsLogFileName(const std::string& name);

}  // namespace ombrix
