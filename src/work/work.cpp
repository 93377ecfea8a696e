#include "work/work.h"

#include <boost/property_tree/ptree.hpp>
#include <exception>

#include "work/composite_work.h"
#include "work/workflow.h"

namespace ombrix {

Work::Work(WorkCompleteCallback* callback) {
  if (callback != nullptr) completeCallbacks_.push_back(callback);
}

void Work::Describe(boost::property_tree::ptree&) const {}

bool Work::ShouldRetry() { return false; }

void Work::DescribeCompletion(const WorkStatus& status, boost::property_tree::ptree& tree) const {
  Describe(tree);
  status.Describe(tree.add_child("workStatus", boost::property_tree::ptree()));
}

void Work::SetParent(const std::shared_ptr<CompositeWork>& parent) { parent_ = parent; }

void Work::SetWorkflow(const std::shared_ptr<Workflow>& workflow) {
  workflow_ = workflow;
  PropagateWorkflow(workflow);
}

void Work::AddCompleteCallback(WorkCompleteCallback* callback) {
  if (callback != nullptr) completeCallbacks_.push_back(callback);
}

void Work::NotifyComplete(const WorkStatus& status) {
  const std::shared_ptr<Work> self = Self();
  // A receiver that throws must not keep the status from the receivers after it:
  // a parent that never hears of its child would leave the whole tree waiting.
  std::exception_ptr failure;
  const auto deliver = [&](WorkCompleteCallback& receiver) {
    try {
      receiver.OnWorkComplete(self, status);
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  };
  if (const auto workflow = workflow_.lock()) deliver(*workflow);
  for (WorkCompleteCallback* callback : completeCallbacks_) deliver(*callback);
  if (const auto parent = parent_.lock()) deliver(*parent);
  if (failure) std::rethrow_exception(failure);
}

}  // namespace ombrix
