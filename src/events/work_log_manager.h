// The work log as the works see it: the callbacks they register to be logged, and
// the leaf that composes a work's entry on the log's own threads.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "events/log_manager.h"
#include "work/simple_work.h"
#include "work/work_callbacks.h"

namespace ombrix {

// Hands out the logging callbacks; each exists once per manager and outlives every
// work that registers it. A completion is logged in category 2 (RetryableError,
// Error) or 8 (any other result), a retry in category 4; a marked callback adds
// 16, so at the default mask successful completions of marked works are logged
// too, those of unmarked ones are not. The callbacks run on the completing thread
// and only copy the status and queue a SetUpLogWork (nothing at all when the
// category fails the mask): describing the work happens on the log's threads.
// Thread-safe.
class WorkLogManager : public LogManager {
 public:
  WorkLogManager(std::int32_t mask, std::string logsFolder, file::Filesystem& filesystem,
                 LogLimits limits = {}, Clock clock = {});

  virtual WorkCompleteCallback* GetWorkCompleteCallback(bool marked);
  virtual SimpleWorkRetryCallback* GetRetryCallback(bool marked);

  // Queues the entry `eventName` for `work` finishing or retrying with `status`.
  void LogWorkEvent(const std::string& eventName, std::int32_t category, const WorkStatus& status,
                    std::shared_ptr<Work> work);

 private:
  void OnComplete(bool marked, const std::shared_ptr<Work>& work, const WorkStatus& status);
  void OnRetry(bool marked, const std::shared_ptr<SimpleWork>& work, const WorkStatus& status);

  WorkCompleteCallbackRoute completeRoute;
  WorkCompleteCallbackRoute markedCompleteRoute;
  SimpleWorkRetryCallbackRoute retryRoute;
  SimpleWorkRetryCallbackRoute markedRetryRoute;
};

// Composes one work's log entry: a new entry of `category` from the manager with
// "event" = eventName and "params" = the work's description followed by
// "workStatus", submitted to the manager. Always succeeds.
class SetUpLogWork : public SimpleWork {
 public:
  SetUpLogWork(WorkLogManager& manager, std::shared_ptr<Work> work, WorkStatus status,
               std::string eventName, std::int32_t category);

  WorkStatus ExecuteTask() override;
  void Interrupt() override {}

 private:
  WorkLogManager& manager;
  const std::shared_ptr<Work> work;
  const WorkStatus status;
  const std::string eventName;
  const std::int32_t category;
};

}  // namespace ombrix
