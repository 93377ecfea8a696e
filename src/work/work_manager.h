// The executor interface on which works run.
#pragma once

#include <functional>
#include <memory>

namespace ombrix {

class SimpleWork;
class Workflow;

// A pool of worker threads around one first-in, first-out handler queue. Posting is
// safe from any thread, including from a worker of the same manager. It has no
// timers and no priorities: ordering and concurrency limits of works are decided
// before anything is posted. Must outlive everything that can post to it.
class WorkManager {
 public:
  WorkManager() = default;
  WorkManager(const WorkManager&) = delete;
  WorkManager& operator=(const WorkManager&) = delete;
  virtual ~WorkManager() = default;

  // A worker calls `function` once. An exception escaping it is discarded.
  virtual void Post(std::function<void()> function) = 0;
  // A worker runs the leaf and delivers its completion (NotifyComplete). Anything
  // thrown by either step is discarded; the worker goes on.
  virtual void RunDetached(std::shared_ptr<SimpleWork> work) = 0;
  // A worker runs the leaf, delivers its completion, then reports it to the
  // workflow with OnSimpleWorkFinished, in this order on one thread.
  virtual void RunForWorkflow(std::shared_ptr<SimpleWork> work,
                              std::shared_ptr<Workflow> workflow) = 0;
};

}  // namespace ombrix
