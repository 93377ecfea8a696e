// A composite that runs a condition, then one of two branches.
#pragma once

#include <memory>

#include "work/composite_work.h"

namespace ombrix {

// Runs the condition child; after it succeeds, the success branch, after any other
// non-error result, the failure branch (all at path element 0). Completes with the
// status of the branch that ran; an Error of the condition completes it at once.
// Each setter fills its slot once; later calls are ignored. Queuing it before all
// three children are set throws std::logic_error
// "ConditionalWork::QueueAvailableWork called with incomplete children".
// Thread-safety: as CompositeWork; the setters only while the tree is being built.
class ConditionalWork : public CompositeWork {
 public:
  explicit ConditionalWork(WorkCompleteCallback* callback = nullptr) : CompositeWork(callback) {}

  // The condition also becomes the current child.
  void SetCondition(std::shared_ptr<Work> child);
  void SetOnSuccess(std::shared_ptr<Work> child);
  void SetOnFailure(std::shared_ptr<Work> child);

  // Composite reset; the condition is current again; Reset on every child present.
  void Reset() override;
  void PropagateWorkflow(const std::shared_ptr<Workflow>& workflow) override;
  void QueueAvailableWork(const std::shared_ptr<Workflow>& workflow) override;
  bool IsCurrentChild(const std::shared_ptr<Work>& child) override;
  WorkProgress OnChildComplete(const std::shared_ptr<Work>& child,
                               const WorkStatus& status) override;

 private:
  void Fill(std::shared_ptr<Work>& slot, std::shared_ptr<Work> child);

  std::shared_ptr<Work> condition_;  // the slots and current_ are guarded by Mutex()
  std::shared_ptr<Work> onSuccess_;
  std::shared_ptr<Work> onFailure_;
  std::shared_ptr<Work> current_;
};

}  // namespace ombrix
