// The completion and retry callback interfaces of the work engine, and the routes
// that forward them to function objects.
#pragma once

#include <functional>
#include <memory>

#include "work/work_status.h"

namespace ombrix {

class Work;
class SimpleWork;
class Workflow;

// Called once for every completion of a work it is registered on, on the thread
// that completed the work (an executor thread, or the thread cancelling a
// workflow). Implementations do their own locking and must not throw.
class WorkCompleteCallback {
 public:
  virtual ~WorkCompleteCallback() = default;
  virtual void OnWorkComplete(const std::shared_ptr<Work>& work, const WorkStatus& status) = 0;
};

// Called each time a leaf decides to try its task again, on the thread running
// the leaf; `status.retry` is true.
class SimpleWorkRetryCallback {
 public:
  virtual ~SimpleWorkRetryCallback() = default;
  virtual void OnSimpleWorkRetry(const std::shared_ptr<SimpleWork>& work,
                                 const WorkStatus& status) = 0;
};

// Called when a workflow stops dispatching because of a retryable error that its
// work will not retry. No workflow lock is held during the call, so it may call
// back into the workflow.
class WorkflowRetryableErrorCallback {
 public:
  virtual ~WorkflowRetryableErrorCallback() = default;
  virtual void OnWorkflowRetryableError(const std::shared_ptr<Workflow>& workflow,
                                        const std::shared_ptr<Work>& work,
                                        const WorkStatus& status) = 0;
};

// Forwards every completion to the function object given at construction. Calling
// a route whose function object is empty throws std::bad_function_call. A route is
// immutable, so it is as thread-safe as its function object.
class WorkCompleteCallbackRoute : public WorkCompleteCallback {
 public:
  using Function = std::function<void(const std::shared_ptr<Work>&, const WorkStatus&)>;

  explicit WorkCompleteCallbackRoute(Function function) : function_(std::move(function)) {}
  WorkCompleteCallbackRoute(const WorkCompleteCallbackRoute&) = delete;
  WorkCompleteCallbackRoute& operator=(const WorkCompleteCallbackRoute&) = delete;

  void OnWorkComplete(const std::shared_ptr<Work>& work, const WorkStatus& status) override {
    function_(work, status);
  }

 private:
  const Function function_;
};

// Forwards every retry to the function object given at construction; same rules as
// WorkCompleteCallbackRoute.
class SimpleWorkRetryCallbackRoute : public SimpleWorkRetryCallback {
 public:
  using Function = std::function<void(const std::shared_ptr<SimpleWork>&, const WorkStatus&)>;

  explicit SimpleWorkRetryCallbackRoute(Function function) : function_(std::move(function)) {}
  SimpleWorkRetryCallbackRoute(const SimpleWorkRetryCallbackRoute&) = delete;
  SimpleWorkRetryCallbackRoute& operator=(const SimpleWorkRetryCallbackRoute&) = delete;

  void OnSimpleWorkRetry(const std::shared_ptr<SimpleWork>& work,
                         const WorkStatus& status) override {
    function_(work, status);
  }

 private:
  const Function function_;
};

}  // namespace ombrix
