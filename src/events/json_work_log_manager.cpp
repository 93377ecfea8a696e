#include "events/json_work_log_manager.h"

#include "common/json_writer.h"
#include "common/version.h"
#include "events/os_name.h"

namespace ombrix {

JsonLogEventWork::JsonLogEventWork(std::int32_t category, LogManager& manager)
    : TrackEventWork(category), manager(manager) {}

WorkStatus JsonLogEventWork::ExecuteTask() {
  if (manager.IsLogged(category)) {
    try {
      manager.Write(category, ToJson(document));
    } catch (...) {
      // An entry that cannot be written as JSON is lost like any other.
    }
  }
  return WorkStatus(WorkResult::Success);
}

JsonWorkLogManager::~JsonWorkLogManager() { DrainEntries(); }

std::shared_ptr<TrackEventWork> JsonWorkLogManager::CreateWork(std::int32_t category) {
  return std::make_shared<JsonLogEventWork>(category, *this);
}

void LogServiceInitialize(EventManager& log) {
  auto entry = log.CreateWork(kLogTransferEvents);
  if (!entry) return;
  auto& document = entry->GetDocument();
  document.put("event", "ServiceInitialize");
  document.put("ombrixVersion", kPlatformVersion);
  document.put("osVersion", GetOsName());
  log.Submit(std::move(entry));
}

}  // namespace ombrix
