#include "events/analytics_manager.h"

namespace ombrix {

WorkStatus NullTrackEventWork::ExecuteTask() { return WorkStatus(WorkResult::Success); }

std::shared_ptr<TrackEventWork> NullAnalyticsManager::CreateWork(std::int32_t category) {
  return std::make_shared<NullTrackEventWork>(category);
}

void NullAnalyticsManager::Submit(std::shared_ptr<TrackEventWork>) {}

}  // namespace ombrix
