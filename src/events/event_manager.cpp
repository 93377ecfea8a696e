#include "events/event_manager.h"

#include "events/track_event_work.h"

namespace ombrix {

EventManager::EventManager(unsigned threadCount) : executor(threadCount, false) {}

EventManager::~EventManager() = default;

void EventManager::Submit(std::shared_ptr<TrackEventWork> work) {
  if (!work) return;
  work->Reset();
  executor.RunDetached(std::move(work));
}

}  // namespace ombrix
