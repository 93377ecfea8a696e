// A composite that creates its children on demand, a bounded number in flight.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_set>

#include "work/composite_work.h"

namespace ombrix {

// Contract:
// - At most `capacity` children are in flight at any time: queuing creates up to
//   capacity children, and each child completion replaces the finished child by at
//   most one new one.
// - Children get path elements 0, 1, 2, ... in creation order.
// - Completes with Success once the generator is exhausted and no child is in
//   flight; at once with Error carrying the child's data when a child ends with
//   Failure (or with the Error of a child).
// - CreateNextChild is called under the composite's lock with GetCreatedCount()
//   equal to the number of children handed out since the last Reset, so it may use
//   that count as the index of the child to create. It answers an empty handle
//   when there are no more children.
// - Construction with capacity 0 throws std::invalid_argument
//   "LazyParallelWork::Reserve called with zero capacity".
// Thread-safety: as CompositeWork.
class LazyParallelWork : public CompositeWork {
 public:
  LazyParallelWork(WorkCompleteCallback* callback, std::uint32_t capacity);
  explicit LazyParallelWork(std::uint32_t capacity) : LazyParallelWork(nullptr, capacity) {}

  virtual void Reserve(std::uint32_t capacity);
  virtual std::shared_ptr<Work> CreateNextChild() = 0;

  // Composite reset; the created count starts again from 0 (children still in
  // flight stay expected).
  void Reset() override;
  // Nothing: children are attached as they are created.
  void PropagateWorkflow(const std::shared_ptr<Workflow>& workflow) override;
  void QueueAvailableWork(const std::shared_ptr<Workflow>& workflow) override;
  bool IsCurrentChild(const std::shared_ptr<Work>& child) override;
  WorkProgress OnChildComplete(const std::shared_ptr<Work>& child,
                               const WorkStatus& status) override;

  std::uint32_t GetCapacity() const { return capacity_; }
  std::uint32_t GetCreatedCount() const;

 private:
  bool AddInFlight(const std::shared_ptr<Work>& child);

  std::unordered_set<std::shared_ptr<Work>> inFlight_;  // guarded by Mutex()
  const std::uint32_t capacity_;
  std::uint32_t created_ = 0;  // guarded by Mutex()
};

}  // namespace ombrix
