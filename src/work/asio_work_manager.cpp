#include "work/asio_work_manager.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <optional>
#include <thread>
#include <vector>

#include "work/simple_work.h"
#include "work/workflow.h"

namespace ombrix {

struct AsioWorkManager::Impl {
  using Guard = boost::asio::executor_work_guard<boost::asio::io_context::executor_type>;

  explicit Impl(bool drain) : guard(std::in_place, context.get_executor()), drainOnDestruction(drain) {}

  void Join() {
    for (auto& thread : threads) {
      if (thread.joinable()) thread.join();
    }
  }

  boost::asio::io_context context;
  std::optional<Guard> guard;
  std::vector<std::thread> threads;
  const bool drainOnDestruction;
};

AsioWorkManager::AsioWorkManager(unsigned threadCount, bool drainOnDestruction)
    : impl_(std::make_unique<Impl>(drainOnDestruction)) {
  impl_->threads.reserve(threadCount);
  try {
    for (unsigned i = 0; i < threadCount; ++i) {
      // run() raises a failure of the queue itself as boost::system::system_error;
      // handlers never throw (each one catches what its function throws), so an
      // exception here is a broken queue and ends the process.
      impl_->threads.emplace_back([context = &impl_->context] { context->run(); });
    }
  } catch (...) {
    // A worker could not be started (the system refused a thread): stop and join
    // those already running, so the failure reaches the caller as an exception
    // instead of ending the process through a joinable thread being destroyed.
    impl_->context.stop();
    impl_->Join();
    throw;
  }
}

AsioWorkManager::~AsioWorkManager() {
  if (impl_->drainOnDestruction) {
    impl_->guard.reset();
  } else {
    Stop();
  }
  impl_->Join();
}

void AsioWorkManager::Stop() { impl_->context.stop(); }

void AsioWorkManager::Drain() {
  impl_->guard.reset();
  impl_->Join();
}

unsigned AsioWorkManager::GetThreadCount() const {
  return static_cast<unsigned>(impl_->threads.size());
}

void AsioWorkManager::Post(std::function<void()> function) {
  boost::asio::post(impl_->context, [function = std::move(function)] {
    try {
      function();
    } catch (...) {
      // A posted function has nobody to report to; the worker goes on.
    }
  });
}

void AsioWorkManager::RunDetached(std::shared_ptr<SimpleWork> work) {
  boost::asio::post(impl_->context, [work = std::move(work)] {
    try {
      work->NotifyComplete(work->Run());
    } catch (...) {
      // Completion callbacks must not throw; if one does, the worker goes on.
    }
  });
}

void AsioWorkManager::RunForWorkflow(std::shared_ptr<SimpleWork> work,
                                     std::shared_ptr<Workflow> workflow) {
  boost::asio::post(impl_->context, [work = std::move(work), workflow = std::move(workflow)] {
    const WorkStatus status = work->Run();
    try {
      work->NotifyComplete(status);
    } catch (...) {
      // Completion callbacks must not throw; the workflow still learns the leaf ended.
    }
    try {
      workflow->OnSimpleWorkFinished(work, status);
    } catch (...) {
    }
  });
}

}  // namespace ombrix
