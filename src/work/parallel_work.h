// A composite that runs all its children at once.
#pragma once

#include <cstddef>
#include <memory>
#include <unordered_set>
#include <vector>

#include "work/composite_work.h"

namespace ombrix {

// Queues every child at once (child i at path element i). Completes with Success
// after every child succeeded, or at once with Error carrying the data of the first
// child that ends with Failure (or with the Error of a child). Later completions are
// ignored. A child added twice is kept once. Children are added before the work is
// first queued; a parallel work without children, queued, never completes.
// Thread-safety: as CompositeWork; AddChild only while the tree is being built.
class ParallelWork : public CompositeWork {
 public:
  explicit ParallelWork(WorkCompleteCallback* callback = nullptr);

  // Reserves room for n children.
  virtual void Reserve(std::size_t n);
  // False (and nothing changes) when the child is already present.
  bool AddChild(std::shared_ptr<Work> child);

  // Composite reset; every child pending again and Reset, in order.
  void Reset() override;
  void PropagateWorkflow(const std::shared_ptr<Workflow>& workflow) override;
  void QueueAvailableWork(const std::shared_ptr<Workflow>& workflow) override;
  bool IsCurrentChild(const std::shared_ptr<Work>& child) override;
  WorkProgress OnChildComplete(const std::shared_ptr<Work>& child,
                               const WorkStatus& status) override;

 private:
  std::vector<std::shared_ptr<Work>> children_;
  std::unordered_set<std::shared_ptr<Work>> pending_;  // guarded by Mutex()
};

}  // namespace ombrix
