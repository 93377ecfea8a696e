#include "work/simple_work.h"

#include <exception>

#include "work/work_status_data.h"
#include "work/workflow.h"

namespace ombrix {

void SimpleWork::Reset() { stopRequested.exchange(false); }

std::shared_ptr<Work> SimpleWork::Self() { return shared_from_this(); }

std::shared_ptr<const Work> SimpleWork::SelfConst() const { return shared_from_this(); }

void SimpleWork::PropagateWorkflow(const std::shared_ptr<Workflow>&) {}

void SimpleWork::QueueAvailableWork(const std::shared_ptr<Workflow>& workflow) {
  if (workflow) workflow->Enqueue(shared_from_this());
}

void SimpleWork::AddRetryCallback(SimpleWorkRetryCallback* callback) {
  if (callback != nullptr) retryCallbacks_.push_back(callback);
}

WorkStatus SimpleWork::Run() {
  try {
    while (!stopRequested.load()) {
      WorkStatus status = ExecuteTask();
      status.retry = status.result == WorkResult::RetryableError && ShouldRetry();
      if (!status.retry) return status;
      const std::shared_ptr<SimpleWork> self = shared_from_this();
      for (SimpleWorkRetryCallback* callback : retryCallbacks_) {
        callback->OnSimpleWorkRetry(self, status);
      }
    }
    return WorkStatus(WorkResult::Interrupted);
  } catch (...) {
    return WorkStatus(WorkResult::Error,
                      std::make_shared<WorkExceptionData>(std::current_exception()));
  }
}

}  // namespace ombrix
