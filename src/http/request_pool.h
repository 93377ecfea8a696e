// A set of reusable requests.
#pragma once

#include <memory>

#include "http/proxy.h"
#include "http/request.h"

namespace ombrix::http {

// Keeps the requests of a session and hands idle ones out again. Every operation
// is atomic with respect to the others (thread-safe); Acquire calls the request's
// Reset under the pool's lock, so the lock order is pool before request.
class RequestPool {
 public:
  RequestPool() = default;
  virtual ~RequestPool() = default;
  RequestPool(const RequestPool&) = delete;
  RequestPool& operator=(const RequestPool&) = delete;

  // Makes `request` a member; a new member that is `available` becomes idle.
  virtual void Add(const std::shared_ptr<Request>& request, bool available) = 0;
  // An idle request reset with `options` and `proxy`, or empty when none is idle.
  // Never fails.
  virtual std::shared_ptr<Request> Acquire(const RequestOptions& options,
                                           std::shared_ptr<Proxy> proxy) = 0;
  // Makes a member idle again (once, however often it is released); ignores others.
  virtual void Release(const std::shared_ptr<Request>& request) = 0;
};

}  // namespace ombrix::http
