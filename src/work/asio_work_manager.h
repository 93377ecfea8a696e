// The work manager built on an asynchronous I/O service used as a handler queue.
#pragma once

#include <memory>

#include "work/work_manager.h"

namespace ombrix {

// Contract:
// - Construction starts `threadCount` workers (0 is allowed: posts are accepted
//   and never run). If the system refuses a thread, the workers already started
//   are stopped and joined and std::system_error is thrown. Workers take handlers in first-in, first-out order; with more
//   than one worker, handlers run concurrently and finish in any order.
// - Destruction with drain on destruction: every handler queued so far (and any
//   that these post in turn) runs, then the workers are joined. Without it: handlers
//   not yet started are discarded without running, running ones finish, the workers
//   are joined. Handlers of a manager without workers are always discarded.
// - Drain lets an owner do the draining itself before destruction. Neither Drain
//   nor the destructor may be called from one of the manager's own workers.
// - RunForWorkflow always reports the leaf back to its workflow, even if a
//   completion callback throws (the exception is discarded), so the workflow's
//   count of running leaves stays right.
class AsioWorkManager : public WorkManager {
 public:
  AsioWorkManager(unsigned threadCount, bool drainOnDestruction);
  ~AsioWorkManager() override;

  void Post(std::function<void()> function) override;
  void RunDetached(std::shared_ptr<SimpleWork> work) override;
  void RunForWorkflow(std::shared_ptr<SimpleWork> work,
                      std::shared_ptr<Workflow> workflow) override;

  // Releases the keep-alive guard and waits until every queued handler ran and
  // every worker returned. Later posts are discarded at destruction.
  void Drain();
  // Stops the queue without waiting: handlers not yet started never run, running
  // ones finish, then the workers return. Later posts never run.
  void Stop();
  unsigned GetThreadCount() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace ombrix
