// The work log that writes each entry as one line of compact JSON.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "events/track_event_work.h"
#include "events/work_log_manager.h"

namespace ombrix {

class JsonWorkLogManager;

// Writes its document as compact JSON (one line) through the manager's Write when
// its category passes the mask. Always succeeds, so an entry is never retried; an
// entry that cannot be written is lost.
class JsonLogEventWork : public TrackEventWork {
 public:
  JsonLogEventWork(std::int32_t category, LogManager& manager);

  WorkStatus ExecuteTask() override;
  void Interrupt() override {}

 private:
  LogManager& manager;
};

// Destruction first writes every entry queued so far, then closes the file.
class JsonWorkLogManager : public WorkLogManager {
 public:
  using WorkLogManager::WorkLogManager;
  ~JsonWorkLogManager() override;

  std::shared_ptr<TrackEventWork> CreateWork(std::int32_t category) override;
};

// Queues the "ServiceInitialize" entry (category 1): the platform version and the
// operating system name.
void LogServiceInitialize(EventManager& log);

}  // namespace ombrix
