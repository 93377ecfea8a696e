#include "events/work_log_manager.h"

#include <utility>

#include "events/track_event_work.h"

namespace ombrix {

WorkLogManager::WorkLogManager(std::int32_t mask, std::string logsFolder,
                               file::Filesystem& filesystem, LogLimits limits, Clock clock)
    : LogManager(mask, std::move(logsFolder), filesystem, limits, std::move(clock)),
      completeRoute([this](const std::shared_ptr<Work>& work, const WorkStatus& status) {
        OnComplete(false, work, status);
      }),
      markedCompleteRoute([this](const std::shared_ptr<Work>& work, const WorkStatus& status) {
        OnComplete(true, work, status);
      }),
      retryRoute([this](const std::shared_ptr<SimpleWork>& work, const WorkStatus& status) {
        OnRetry(false, work, status);
      }),
      markedRetryRoute([this](const std::shared_ptr<SimpleWork>& work, const WorkStatus& status) {
        OnRetry(true, work, status);
      }) {}

WorkCompleteCallback* WorkLogManager::GetWorkCompleteCallback(bool marked) {
  return marked ? &markedCompleteRoute : &completeRoute;
}

SimpleWorkRetryCallback* WorkLogManager::GetRetryCallback(bool marked) {
  return marked ? &markedRetryRoute : &retryRoute;
}

void WorkLogManager::OnComplete(bool marked, const std::shared_ptr<Work>& work,
                                const WorkStatus& status) {
  const bool failed =
      status.result == WorkResult::RetryableError || status.result == WorkResult::Error;
  std::int32_t category = failed ? kLogWorkFailures : kLogWorkCompletions;
  if (marked) category |= kLogMarked;
  LogWorkEvent("OnWorkComplete", category, status, work);
}

void WorkLogManager::OnRetry(bool marked, const std::shared_ptr<SimpleWork>& work,
                             const WorkStatus& status) {
  LogWorkEvent("OnSimpleWorkRetry", kLogWorkRetries | (marked ? kLogMarked : 0), status, work);
}

void WorkLogManager::LogWorkEvent(const std::string& eventName, std::int32_t category,
                                  const WorkStatus& status, std::shared_ptr<Work> work) {
  if (!IsLogged(category)) return;
  try {
    auto setUp =
        std::make_shared<SetUpLogWork>(*this, std::move(work), status, eventName, category);
    setUp->Reset();
    executor.RunDetached(std::move(setUp));
  } catch (...) {
    // The callbacks run on the completing thread and must not throw: the entry is lost.
  }
}

SetUpLogWork::SetUpLogWork(WorkLogManager& manager, std::shared_ptr<Work> work, WorkStatus status,
                           std::string eventName, std::int32_t category)
    : manager(manager),
      work(std::move(work)),
      status(std::move(status)),
      eventName(std::move(eventName)),
      category(category) {}

WorkStatus SetUpLogWork::ExecuteTask() {
  auto entry = manager.CreateWork(category);
  if (!entry) return WorkStatus(WorkResult::Success);
  auto& document = entry->GetDocument();
  document.put("event", eventName);
  auto& params = document.put_child("params", {});
  if (work) work->DescribeCompletion(status, params);
  manager.Submit(std::move(entry));
  return WorkStatus(WorkResult::Success);
}

}  // namespace ombrix
