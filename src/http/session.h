// A group of requests that share a pool of handles and one discovered proxy.
#pragma once

#include <memory>
#include <mutex>

#include "http/proxy.h"
#include "http/request_pool.h"

namespace ombrix::http {

// Holds a pool and remembers the proxy discovered for the session's first request.
// Thread-safe: the proxy is read and written under the session's lock; the pool is
// set at construction and never changes.
class Session {
 public:
  explicit Session(std::shared_ptr<RequestPool> pool) : pool_(std::move(pool)) {}
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  std::shared_ptr<RequestPool> GetPool() const { return pool_; }
  // Empty until the first request of the session.
  std::shared_ptr<Proxy> GetProxy() const;
  void SetProxy(std::shared_ptr<Proxy> proxy);

 private:
  mutable std::mutex lock_;
  const std::shared_ptr<RequestPool> pool_;
  std::shared_ptr<Proxy> proxy_;  // guarded by lock_
};

}  // namespace ombrix::http
