// Composites that run their children one after another.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "work/composite_work.h"

namespace ombrix {

// Runs its children in order, each at path element 0. Completes with the status of
// the first child that ends with Failure (later children are never queued), or
// else with the status of the last child. Children are added before the work is
// first queued; a sequence without children, queued, never completes.
// Thread-safety: as CompositeWork; AddChild only while the tree is being built.
class SequentialWork : public CompositeWork {
 public:
  explicit SequentialWork(WorkCompleteCallback* callback = nullptr, std::size_t capacity = 0);

  void AddChild(std::shared_ptr<Work> child);

  // Composite reset, back to the first child, and Reset on every child in order.
  void Reset() override;
  void PropagateWorkflow(const std::shared_ptr<Workflow>& workflow) override;
  void QueueAvailableWork(const std::shared_ptr<Workflow>& workflow) override;
  bool IsCurrentChild(const std::shared_ptr<Work>& child) override;
  WorkProgress OnChildComplete(const std::shared_ptr<Work>& child,
                               const WorkStatus& status) override;

 private:
  std::vector<std::shared_ptr<Work>> children_;
  std::size_t index_ = 0;  // guarded by Mutex()
};

}  // namespace ombrix
