// The executor: threads, draining, discarding, detached runs.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "work/asio_work_manager.h"
#include "work/test_works.h"

namespace ombrix {
namespace {

using test::Signal;
using test::TaskWork;

TEST(AsioWorkManager, ZeroThreadsAcceptsPostsAndDiscardsThemAtDestruction) {
  auto ran = std::make_shared<std::atomic<int>>(0);
  auto work = TaskWork::Returning(WorkResult::Success);
  {
    AsioWorkManager manager(0, true);
    EXPECT_EQ(manager.GetThreadCount(), 0u);
    manager.Post([ran] { ++*ran; });
    manager.RunDetached(work);
  }
  EXPECT_EQ(*ran, 0);
  EXPECT_EQ(work->attempts, 0);
  EXPECT_EQ(ran.use_count(), 1);  // the discarded handler released what it held
}

TEST(AsioWorkManager, DrainingDestructionRunsEverythingQueued) {
  std::atomic<int> ran{0};
  Signal release;
  {
    AsioWorkManager manager(1, true);
    manager.Post([&] { release.Wait(); });  // keeps the only worker busy
    for (int i = 0; i < 50; ++i) manager.Post([&] { ++ran; });
    release.Notify();
  }
  EXPECT_EQ(ran, 50);
}

TEST(AsioWorkManager, StoppingDiscardsHandlersNotStarted) {
  std::atomic<int> ran{0};
  Signal started, release;
  {
    AsioWorkManager manager(1, false);
    manager.Post([&] {
      started.Notify();
      release.Wait();
    });
    manager.Post([&] { ++ran; });
    ASSERT_TRUE(started.Wait());
    manager.Stop();  // what a destructor without draining does first
    release.Notify();
  }
  EXPECT_EQ(ran, 0);
}

TEST(AsioWorkManager, ExplicitDrainRunsEverythingBeforeDestruction) {
  std::atomic<int> ran{0};
  AsioWorkManager manager(2, false);
  for (int i = 0; i < 100; ++i) manager.Post([&] { ++ran; });
  manager.Drain();
  EXPECT_EQ(ran, 100);
}

TEST(AsioWorkManager, ThrowingHandlersDoNotStopTheWorker) {
  Signal after;  // outlives the worker that raises it
  test::CompletionRecorder recorder;
  AsioWorkManager manager(1, true);
  WorkCompleteCallbackRoute throwing([](auto&, auto&) { throw std::runtime_error("callback"); });
  auto detached = TaskWork::Returning(WorkResult::Success);
  detached->AddCompleteCallback(&throwing);
  detached->AddCompleteCallback(&recorder);  // after the throwing one: still told
  manager.RunDetached(detached);
  manager.Post([] { throw 1; });
  manager.Post([&] { after.Notify(); });
  EXPECT_TRUE(after.Wait());
  EXPECT_EQ(detached->attempts, 1);
  EXPECT_EQ(recorder.Count(), 1u);
}

TEST(AsioWorkManager, ThousandsOfPostsFromManyThreadsRunExactlyOnce) {
  constexpr int kPosters = 3, kPerPoster = 2000;
  std::vector<std::atomic<int>> runs(kPosters * kPerPoster);
  std::mutex threadsMutex;
  std::set<std::thread::id> threadIds;
  {
    AsioWorkManager manager(3, true);
    std::vector<std::thread> posters;
    for (int p = 0; p < kPosters; ++p) {
      posters.emplace_back([&, p] {
        for (int i = 0; i < kPerPoster; ++i) {
          manager.Post([&, index = p * kPerPoster + i] {
            ++runs[index];
            std::lock_guard lock(threadsMutex);
            threadIds.insert(std::this_thread::get_id());
          });
        }
      });
    }
    // A worker may post too.
    manager.Post([&] { manager.Post([&] { ++runs[0]; }); });
    for (auto& poster : posters) poster.join();
  }
  EXPECT_EQ(runs[0], 2);
  for (std::size_t i = 1; i < runs.size(); ++i) ASSERT_EQ(runs[i], 1) << i;
  EXPECT_LE(threadIds.size(), 3u);
}

}  // namespace
}  // namespace ombrix
