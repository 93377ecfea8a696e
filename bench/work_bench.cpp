// Overhead of the work engine itself: a workflow running a lazy-parallel tree of
// NoOpWork leaves on a 3-thread executor. Reports leaves per second.
#include <benchmark/benchmark.h>

#include <condition_variable>
#include <mutex>

#include "work/asio_work_manager.h"
#include "work/lazy_parallel_work.h"
#include "work/no_op_work.h"
#include "work/standard_workflow.h"

namespace ombrix {
namespace {

constexpr std::uint32_t kLeaves = 100000;

class NoOpLazyWork : public LazyParallelWork {
 public:
  NoOpLazyWork(std::uint32_t capacity, std::uint32_t total) : LazyParallelWork(capacity), total_(total) {}

  std::shared_ptr<Work> CreateNextChild() override {
    return GetCreatedCount() < total_ ? NoOpWork::Create() : nullptr;
  }

 private:
  const std::uint32_t total_;
};

class Done : public WorkCompleteCallback {
 public:
  void OnWorkComplete(const std::shared_ptr<Work>&, const WorkStatus&) override {
    std::lock_guard lock(mutex_);
    done_ = true;
    changed_.notify_all();
  }
  void Wait() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return done_; });
    done_ = false;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool done_ = false;
};

// Arguments: lazy-parallel capacity, workflow maximum running.
void WorkflowLazyParallelNoOp(benchmark::State& state) {
  const auto capacity = static_cast<std::uint32_t>(state.range(0));
  const auto maximumRunning = static_cast<std::uint32_t>(state.range(1));
  AsioWorkManager executor(3, false);
  Done done;
  for (auto _ : state) {
    auto root = std::make_shared<NoOpLazyWork>(capacity, kLeaves);
    root->AddCompleteCallback(&done);
    auto workflow = StandardWorkflow::Create(root, executor, maximumRunning);
    workflow->Start();
    done.Wait();
  }
  state.counters["leaves_per_second"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kLeaves, benchmark::Counter::kIsRate);
}

// {4, 4}: the defaults of this 2-processor machine (chunkConcurrency and
// workflowConcurrency are processors + 2).
BENCHMARK(WorkflowLazyParallelNoOp)
    ->Args({4, 4})
    ->Args({16, 16})
    ->Args({64, 8})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

}  // namespace
}  // namespace ombrix
