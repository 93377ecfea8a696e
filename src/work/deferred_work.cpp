#include "work/deferred_work.h"

#include <boost/property_tree/ptree.hpp>

#include "work/no_op_work.h"

namespace ombrix {

std::shared_ptr<DeferredWork> DeferredWork::Create(WorkCompleteCallback* callback) {
  return std::make_shared<DeferredWork>(callback);
}

bool DeferredWork::SetChild(std::shared_ptr<Work> child) {
  // The composite lock spans storing and attaching, so that QueueAvailableWork on
  // another thread never queues a child whose parent is not wired yet (its
  // completion would be lost).
  std::lock_guard attach(Mutex());
  std::shared_ptr<Work> stored;
  {
    std::lock_guard lock(childMutex_);
    if (child_) return false;
    child_ = child ? std::move(child) : NoOpWork::Create();
    stored = child_;
  }
  AttachChild(stored);
  return true;
}

std::shared_ptr<Work> DeferredWork::GetChild() const {
  std::lock_guard lock(childMutex_);
  return child_;
}

void DeferredWork::Describe(boost::property_tree::ptree& tree) const {
  tree.add("name", "DeferredWork");
}

void DeferredWork::Reset() {
  std::lock_guard lock(Mutex());
  CompositeWork::Reset();
  if (const auto child = GetChild()) child->Reset();
}

void DeferredWork::PropagateWorkflow(const std::shared_ptr<Workflow>& workflow) {
  if (const auto child = GetChild()) child->SetWorkflow(workflow);
}

void DeferredWork::QueueAvailableWork(const std::shared_ptr<Workflow>& workflow) {
  std::lock_guard lock(Mutex());
  SetChild(nullptr);
  QueueChild(GetChild(), workflow, 0);
}

bool DeferredWork::IsCurrentChild(const std::shared_ptr<Work>& child) {
  return child == GetChild();
}

WorkProgress DeferredWork::OnChildComplete(const std::shared_ptr<Work>&, const WorkStatus& status) {
  return WorkProgress(status);
}

}  // namespace ombrix
