// Leaves, callbacks and an executor decorator shared by the work-engine tests.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "support/wait.h"
#include "work/limited_retry_simple_work.h"
#include "work/simple_work.h"
#include "work/work_manager.h"
#include "work/workflow.h"

namespace ombrix::test {

// A leaf whose task is a function of the leaf; counts attempts and interrupts.
class TaskWork : public SimpleWork {
 public:
  using Task = std::function<WorkStatus(TaskWork&)>;

  static std::shared_ptr<TaskWork> Create(Task task) { return std::make_shared<TaskWork>(std::move(task)); }
  // A leaf that always answers `result`.
  static std::shared_ptr<TaskWork> Returning(WorkResult result) {
    return Create([result](TaskWork&) { return WorkStatus(result); });
  }

  explicit TaskWork(Task task) : task_(std::move(task)) {}

  WorkStatus ExecuteTask() override {
    ++attempts;
    return task_(*this);
  }
  void Interrupt() override { ++interrupts; }

  std::atomic<int> attempts{0};
  std::atomic<int> interrupts{0};

 private:
  Task task_;
};

// A limited-retry leaf whose task is a function of the attempt number (from 1).
class LimitedTaskWork : public LimitedRetrySimpleWork {
 public:
  using Task = std::function<WorkStatus(int attempt)>;

  LimitedTaskWork(unsigned maxRetries, Task task)
      : LimitedRetrySimpleWork(maxRetries), task_(std::move(task)) {}

  WorkStatus ExecuteTask() override { return task_(++attempts); }
  void Interrupt() override {}

  std::atomic<int> attempts{0};

 private:
  Task task_;
};

// A leaf that blocks in its task until released or interrupted, then answers
// `result` (or Interrupted when its stop flag was raised).
class GateWork : public SimpleWork {
 public:
  explicit GateWork(WorkResult result = WorkResult::Success) : result_(result) {}

  WorkStatus ExecuteTask() override {
    std::unique_lock lock(mutex_);
    ++entered_;
    changed_.notify_all();
    changed_.wait(lock, [this] { return open_ || IsStopRequested(); });
    if (IsStopRequested() && !open_) return WorkStatus(WorkResult::Interrupted);
    open_ = false;
    return WorkStatus(result_);
  }
  void Interrupt() override {
    std::lock_guard lock(mutex_);
    ++interrupts;
    changed_.notify_all();
  }
  // Lets the current (or next) attempt finish with the result.
  void Open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  // Waits until the task was entered `times` times in total.
  bool WaitEntered(int times) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kGenerousTimeout, [&] { return entered_ >= times; });
  }
  int Entered() {
    std::lock_guard lock(mutex_);
    return entered_;
  }

  int interrupts = 0;  // guarded by mutex_

 private:
  const WorkResult result_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = false;
  int entered_ = 0;
};

// Records every completion it receives.
class CompletionRecorder : public WorkCompleteCallback {
 public:
  struct Entry {
    std::shared_ptr<Work> work;
    WorkStatus status;
  };

  void OnWorkComplete(const std::shared_ptr<Work>& work, const WorkStatus& status) override {
    std::lock_guard lock(mutex_);
    entries_.push_back({work, status});
  }
  std::vector<Entry> Entries() {
    std::lock_guard lock(mutex_);
    return entries_;
  }
  std::size_t Count() {
    std::lock_guard lock(mutex_);
    return entries_.size();
  }
  bool WaitCount(std::size_t count) {
    return WaitUntil([&] { return Count() >= count; });
  }

 private:
  std::mutex mutex_;
  std::vector<Entry> entries_;
};

// Forwards to a real executor and records the path of every leaf posted for a
// workflow, in posting order.
class RecordingWorkManager : public WorkManager {
 public:
  explicit RecordingWorkManager(WorkManager& target) : target_(target) {}

  void Post(std::function<void()> function) override { target_.Post(std::move(function)); }
  void RunDetached(std::shared_ptr<SimpleWork> work) override { target_.RunDetached(std::move(work)); }
  void RunForWorkflow(std::shared_ptr<SimpleWork> work, std::shared_ptr<Workflow> workflow) override {
    {
      std::lock_guard lock(mutex_);
      posted_.push_back(work->GetPath());
    }
    target_.RunForWorkflow(std::move(work), std::move(workflow));
  }
  std::vector<WorkPath> Posted() {
    std::lock_guard lock(mutex_);
    return posted_;
  }

 private:
  WorkManager& target_;
  std::mutex mutex_;
  std::vector<WorkPath> posted_;
};

}  // namespace ombrix::test
