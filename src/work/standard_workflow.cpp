#include "work/standard_workflow.h"

#include <algorithm>
#include <stdexcept>

#include "work/simple_work.h"
#include "work/work.h"
#include "work/work_manager.h"

namespace ombrix {

namespace {

constexpr std::size_t kInitialBuckets = 11;

// Heap order: the leaf with the smallest path on top.
bool RunsLater(const std::shared_ptr<SimpleWork>& a, const std::shared_ptr<SimpleWork>& b) {
  return PathPrecedes(b->GetPath(), a->GetPath());
}

}  // namespace

std::shared_ptr<StandardWorkflow> StandardWorkflow::Create(std::shared_ptr<Work> root,
                                                           WorkManager& executor,
                                                           std::uint32_t maximumRunning) {
  auto workflow = std::make_shared<StandardWorkflow>(root, executor, maximumRunning);
  root->SetWorkflow(workflow);
  return workflow;
}

StandardWorkflow::StandardWorkflow(std::shared_ptr<Work> root, WorkManager& executor,
                                   std::uint32_t maximumRunning)
    : root_(std::move(root)),
      executor_(executor),
      running_(kInitialBuckets),
      maximumRunning_(std::max<std::uint32_t>(maximumRunning, 1)) {
  running_.max_load_factor(1.0f);
}

bool StandardWorkflow::IsFinishedLocked() const {
  return state_ == WorkflowState::Finished || state_ == WorkflowState::Cancelled;
}

void StandardWorkflow::Push(const std::shared_ptr<SimpleWork>& work) {
  runQueue_.push_back(work);
  std::push_heap(runQueue_.begin(), runQueue_.end(), RunsLater);
}

void StandardWorkflow::Dispatch() {
  if (state_ != WorkflowState::Running) return;
  std::shared_ptr<Workflow> self;
  while (running_.size() < maximumRunning_ && !runQueue_.empty()) {
    std::pop_heap(runQueue_.begin(), runQueue_.end(), RunsLater);
    std::shared_ptr<SimpleWork> work = std::move(runQueue_.back());
    runQueue_.pop_back();
    running_.insert(work);
    if (!self) self = shared_from_this();
    executor_.RunForWorkflow(std::move(work), self);
  }
}

void StandardWorkflow::InterruptRunning() {
  for (const auto& work : running_) {
    work->RequestStop();
    work->Interrupt();
  }
}

bool StandardWorkflow::Start() {
  {
    std::lock_guard lock(lock_);
    if (state_ != WorkflowState::NotStarted || starting_) return false;
    if (startFailed_) {
      throw std::logic_error("StandardWorkflow::Start called again after a failed Start");
    }
    starting_ = true;
  }
  // The root takes its composites' locks while queuing, and its leaves come back
  // through Enqueue: the workflow's lock is not held meanwhile, so composite locks
  // are always taken before the workflow's.
  try {
    root_->QueueAvailableWork(shared_from_this());
  } catch (...) {
    // Nothing has been posted yet, so dropping the leaves queued before the
    // failure loses nothing. The composites that queued them have moved on (a
    // lazy-parallel work counted its children as created), so queuing the root
    // again would leave them waiting forever: the workflow refuses to start again.
    std::lock_guard lock(lock_);
    starting_ = false;
    startFailed_ = true;
    runQueue_.clear();
    queuedWhileRunning_.clear();
    throw;
  }
  std::lock_guard lock(lock_);
  starting_ = false;
  if (state_ != WorkflowState::NotStarted) return true;  // cancelled meanwhile
  state_ = WorkflowState::Running;
  Dispatch();
  return true;
}

bool StandardWorkflow::Pause() {
  std::lock_guard lock(lock_);
  if (state_ == WorkflowState::Running) {
    state_ = WorkflowState::Paused;
  } else if (state_ == WorkflowState::WaitingRetry) {
    state_ = WorkflowState::PausedWaitingRetry;
  } else {
    return false;
  }
  InterruptRunning();
  return true;
}

bool StandardWorkflow::Resume() {
  std::lock_guard lock(lock_);
  if (state_ == WorkflowState::Paused) {
    state_ = WorkflowState::Running;
  } else if (state_ == WorkflowState::PausedWaitingRetry) {
    state_ = WorkflowState::WaitingRetry;
  } else {
    return false;
  }
  Dispatch();
  return true;
}

bool StandardWorkflow::Retry() {
  std::lock_guard lock(lock_);
  if (state_ == WorkflowState::WaitingRetry) {
    state_ = WorkflowState::Running;
  } else if (state_ == WorkflowState::PausedWaitingRetry) {
    state_ = WorkflowState::Paused;
  } else {
    return false;
  }
  Dispatch();
  return true;
}

WorkflowState StandardWorkflow::GetState() const {
  std::lock_guard lock(lock_);
  return state_;
}

bool StandardWorkflow::IsStarted() const { return GetState() != WorkflowState::NotStarted; }

bool StandardWorkflow::IsPaused() const {
  const WorkflowState state = GetState();
  return state == WorkflowState::Paused || state == WorkflowState::PausedWaitingRetry;
}

bool StandardWorkflow::IsWaitingRetry() const {
  const WorkflowState state = GetState();
  return state == WorkflowState::WaitingRetry || state == WorkflowState::PausedWaitingRetry;
}

bool StandardWorkflow::IsFinished() const {
  std::lock_guard lock(lock_);
  return IsFinishedLocked();
}

bool StandardWorkflow::Cancel(const WorkStatus& status) {
  {
    std::lock_guard lock(lock_);
    if (state_ == WorkflowState::Cancelled) return false;
    Pause();
    state_ = WorkflowState::Cancelled;
  }
  root_->NotifyComplete(status);
  return true;
}

void StandardWorkflow::AddRetryableErrorCallback(WorkflowRetryableErrorCallback* callback) {
  std::lock_guard lock(lock_);
  if (callback != nullptr) retryableErrorCallbacks_.push_back(callback);
}

void StandardWorkflow::Enqueue(const std::shared_ptr<SimpleWork>& work) {
  std::lock_guard lock(lock_);
  if (IsFinishedLocked()) return;
  work->Reset();
  // A leaf queued again (by a restarting parent) before the executor reported its
  // previous run back must not be posted a second time meanwhile.
  if (running_.count(work) != 0) {
    queuedWhileRunning_.insert(work);
  } else {
    Push(work);
  }
}

void StandardWorkflow::OnSimpleWorkFinished(const std::shared_ptr<SimpleWork>& work,
                                            const WorkStatus& status) {
  std::lock_guard lock(lock_);
  running_.erase(work);
  if (!queuedWhileRunning_.empty() && queuedWhileRunning_.erase(work) != 0) {
    if (!IsFinishedLocked()) {
      work->Reset();  // a stop raised after it was queued again concerned the old run
      Push(work);
    }
  } else if (!IsFinishedLocked() && (status.result == WorkResult::Interrupted ||
                                     status.result == WorkResult::RetryableError)) {
    Enqueue(work);
  }
  Dispatch();
}

void StandardWorkflow::OnWorkComplete(const std::shared_ptr<Work>& work, const WorkStatus& status) {
  std::unique_lock lock(lock_);
  if (state_ == WorkflowState::NotStarted || IsFinishedLocked()) return;
  const WorkResult result = status.result;
  if (result == WorkResult::Error ||
      (result != WorkResult::Interrupted && result != WorkResult::RetryableError &&
       work == root_)) {
    InterruptRunning();
    state_ = WorkflowState::Finished;
    return;
  }
  if (result != WorkResult::RetryableError || status.retry ||
      state_ == WorkflowState::WaitingRetry || state_ == WorkflowState::PausedWaitingRetry) {
    return;
  }
  InterruptRunning();
  state_ = state_ == WorkflowState::Running ? WorkflowState::WaitingRetry
                                            : WorkflowState::PausedWaitingRetry;
  const std::vector<WorkflowRetryableErrorCallback*> callbacks = retryableErrorCallbacks_;
  const std::shared_ptr<Workflow> self = shared_from_this();
  lock.unlock();
  for (WorkflowRetryableErrorCallback* callback : callbacks) {
    callback->OnWorkflowRetryableError(self, work, status);
  }
}

std::size_t StandardWorkflow::GetRunningCount() const {
  std::lock_guard lock(lock_);
  return running_.size();
}

std::size_t StandardWorkflow::GetQueuedCount() const {
  std::lock_guard lock(lock_);
  return runQueue_.size() + queuedWhileRunning_.size();
}

}  // namespace ombrix
