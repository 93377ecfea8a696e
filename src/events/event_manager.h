// The base of the reporters: analytics managers and the work log.
#pragma once

#include <cstdint>
#include <memory>

#include "work/asio_work_manager.h"

namespace ombrix {

class TrackEventWork;

// Creates one reporting work per document and runs it on a private executor, so
// that the code reporting never waits for the delivery. CreateWork and Submit may
// be called from any thread. The executor does not drain on destruction: a
// subclass that must deliver what was queued drains (or stops) it in its own
// destructor, before its own members go.
class EventManager {
 public:
  explicit EventManager(unsigned threadCount);
  EventManager(const EventManager&) = delete;
  EventManager& operator=(const EventManager&) = delete;
  virtual ~EventManager();

  // A new, empty work of `category` for the caller to fill and Submit.
  virtual std::shared_ptr<TrackEventWork> CreateWork(std::int32_t category) = 0;
  // Resets the work and runs it detached on the executor; returns at once.
  virtual void Submit(std::shared_ptr<TrackEventWork> work);

 protected:
  AsioWorkManager executor;
};

}  // namespace ombrix
