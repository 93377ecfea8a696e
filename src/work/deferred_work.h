// A composite whose single child may be supplied after the tree was built.
#pragma once

#include <memory>
#include <mutex>

#include "work/composite_work.h"

namespace ombrix {

// Holds exactly one child, set once (SetChild) by any thread, also while the tree
// runs. Queued without a child, it installs a NoOpWork and so completes with
// Success. Completes with the status of its child. Describe writes "name" =
// "DeferredWork". The child slot has its own mutex, never held while calling out;
// a child is wired to its parent before it can be queued.
class DeferredWork : public CompositeWork {
 public:
  static std::shared_ptr<DeferredWork> Create(WorkCompleteCallback* callback = nullptr);

  explicit DeferredWork(WorkCompleteCallback* callback = nullptr) : CompositeWork(callback) {}

  // Stores `child` (a new NoOpWork when it is empty) and answers true, unless a
  // child is already set: then nothing changes and the answer is false.
  bool SetChild(std::shared_ptr<Work> child);
  std::shared_ptr<Work> GetChild() const;

  void Describe(boost::property_tree::ptree& tree) const override;
  // Composite reset and Reset on the child, if any.
  void Reset() override;
  void PropagateWorkflow(const std::shared_ptr<Workflow>& workflow) override;
  void QueueAvailableWork(const std::shared_ptr<Workflow>& workflow) override;
  bool IsCurrentChild(const std::shared_ptr<Work>& child) override;
  WorkProgress OnChildComplete(const std::shared_ptr<Work>& child,
                               const WorkStatus& status) override;

 private:
  mutable std::mutex childMutex_;
  std::shared_ptr<Work> child_;  // guarded by childMutex_
};

}  // namespace ombrix
