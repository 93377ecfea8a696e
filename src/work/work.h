// The base of every node of a work tree: leaves and composites alike.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "work/work_callbacks.h"
#include "work/work_descriptor.h"
#include "work/work_status.h"

namespace ombrix {

class CompositeWork;
class Workflow;

// Child positions from the root down to a work; empty for a root.
using WorkPath = std::vector<std::uint32_t>;

// True when a leaf at path `a` is to run before a leaf at path `b`: `a` is
// lexicographically smaller, elements compared as unsigned numbers, a proper prefix
// being smaller. Equal paths have no order between them.
inline bool PathPrecedes(const WorkPath& a, const WorkPath& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
}

// A node of a work tree, owned from the top (the workflow owns the root, each
// composite its children) and referring upwards only weakly, so no ownership
// cycle arises.
//
// Contract:
// - Callbacks, parent, workflow and path are wired before the work is queued and
//   only read afterwards; a work holds no lock of its own. The path of a work is
//   written by its parent just before the work is queued.
// - NotifyComplete delivers one status, on the calling thread, to: the workflow
//   (if it still exists), then every registered completion callback in
//   registration order, then the parent (if it still exists). References that can
//   no longer be locked are skipped. A receiver that throws does not stop the
//   delivery: everyone is told, then the first exception is rethrown.
// - Subclasses never call their callbacks themselves: the engine calls
//   NotifyComplete (the executor for leaves, CompositeWork for composites).
// - A work may run several times (after an interruption or a retryable error it is
//   reset and queued again); it keeps callbacks, parent, workflow and path.
// Works are never copied.
class Work : public WorkDescriptor {
 public:
  Work() = default;
  // Registers `callback` (if not null) as the first completion callback.
  explicit Work(WorkCompleteCallback* callback);
  Work(const Work&) = delete;
  Work& operator=(const Work&) = delete;
  ~Work() override = default;

  // Writes nothing; concrete works write "name" = their class name.
  void Describe(boost::property_tree::ptree& tree) const override;
  // Whether a retryable error of this run is to be retried; false by default.
  virtual bool ShouldRetry();
  // Clears the execution state so the work can run again.
  virtual void Reset() = 0;
  // Describe, then a child node "workStatus" filled by status.Describe.
  virtual void DescribeCompletion(const WorkStatus& status,
                                  boost::property_tree::ptree& tree) const;
  // Shared handle to this work; the work must be owned by a shared handle.
  virtual std::shared_ptr<Work> Self() = 0;
  virtual std::shared_ptr<const Work> SelfConst() const = 0;
  virtual void SetParent(const std::shared_ptr<CompositeWork>& parent);
  // Stores the workflow, then PropagateWorkflow spreads it to the children.
  virtual void SetWorkflow(const std::shared_ptr<Workflow>& workflow);
  virtual void PropagateWorkflow(const std::shared_ptr<Workflow>& workflow) = 0;
  // Puts the runnable leaves of this work on the workflow's run queue.
  virtual void QueueAvailableWork(const std::shared_ptr<Workflow>& workflow) = 0;

  // Appends a completion callback; the callback must outlive the work. Only
  // before the work is queued.
  void AddCompleteCallback(WorkCompleteCallback* callback);
  void NotifyComplete(const WorkStatus& status);

  // The workflow and parent, if they still exist.
  std::shared_ptr<Workflow> GetWorkflow() const { return workflow_.lock(); }
  std::shared_ptr<CompositeWork> GetParent() const { return parent_.lock(); }
  const WorkPath& GetPath() const { return path; }
  void SetPath(WorkPath newPath) { path = std::move(newPath); }

 private:
  std::weak_ptr<Workflow> workflow_;
  std::vector<WorkCompleteCallback*> completeCallbacks_;
  std::weak_ptr<CompositeWork> parent_;
  WorkPath path;
};

}  // namespace ombrix
