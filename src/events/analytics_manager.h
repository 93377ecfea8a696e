// The analytics reporters' common base, and the reporter that discards everything.
#pragma once

#include "events/event_manager.h"
#include "events/track_event_work.h"

namespace ombrix {

// Marks an event manager as an analytics reporter (the transfer events send their
// requests to one).
class AnalyticsManager : public EventManager {
 public:
  using EventManager::EventManager;
};

// A work that delivers nothing: its task succeeds at once.
class NullTrackEventWork : public TrackEventWork {
 public:
  using TrackEventWork::TrackEventWork;

  WorkStatus ExecuteTask() override;
  void Interrupt() override {}
};

// Accepts every call and discards every document: no thread, no network, and
// Submit drops the work without running it. For transfers whose analytics are
// not wanted. Thread-safe.
class NullAnalyticsManager : public AnalyticsManager {
 public:
  NullAnalyticsManager() : AnalyticsManager(0) {}

  std::shared_ptr<TrackEventWork> CreateWork(std::int32_t category) override;
  void Submit(std::shared_ptr<TrackEventWork> work) override;
};

}  // namespace ombrix
