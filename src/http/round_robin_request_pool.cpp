#include "http/round_robin_request_pool.h"

namespace ombrix::http {

void RoundRobinRequestPool::Add(const std::shared_ptr<Request>& request, bool available) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  const bool inserted = members_.insert(request).second;
  if (inserted && available) Enqueue(request);
}

void RoundRobinRequestPool::Release(const std::shared_ptr<Request>& request) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (members_.count(request) != 0) Enqueue(request);
}

std::shared_ptr<Request> RoundRobinRequestPool::Acquire(const RequestOptions& options,
                                                        std::shared_ptr<Proxy> proxy) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  while (!idle_.empty()) {
    std::shared_ptr<Request> request = std::move(idle_.front());
    idle_.pop_front();
    idleSet_.erase(request);
    bool reset = false;
    try {
      reset = request->Reset(options, proxy);
    } catch (...) {
      // A request that could not be configured is not handed out half-configured;
      // Acquire itself never fails, the caller then creates a new request.
    }
    if (reset) return request;
    // Still running under an earlier holder (or broken): the pool forgets it, and
    // the holder's release will be ignored.
    members_.erase(request);
  }
  return nullptr;
}

void RoundRobinRequestPool::Enqueue(const std::shared_ptr<Request>& request) {
  if (idleSet_.insert(request).second) idle_.push_back(request);
}

std::size_t RoundRobinRequestPool::MemberCount() {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return members_.size();
}

std::size_t RoundRobinRequestPool::IdleCount() {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return idle_.size();
}

}  // namespace ombrix::http
