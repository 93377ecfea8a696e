// A request on loan from a pool.
#pragma once

#include <memory>

#include "http/request.h"
#include "http/request_pool.h"

namespace ombrix::http {

// Forwards every operation to the pooled request and gives it back to the pool
// when the wrapper is destroyed (failures there are swallowed). As thread-safe as
// the inner request.
class PooledRequestWrapper : public Request {
 public:
  PooledRequestWrapper(std::shared_ptr<Request> inner, std::shared_ptr<RequestPool> pool);
  ~PooledRequestWrapper() override;

  RequestResult Perform() override { return inner_->Perform(); }
  RequestResult GetResult() override { return inner_->GetResult(); }
  void Cancel() override { inner_->Cancel(); }
  bool Reset(const RequestOptions& options, std::shared_ptr<Proxy> proxy) override {
    return inner_->Reset(options, std::move(proxy));
  }

  // The pooled request itself.
  const std::shared_ptr<Request>& Inner() const { return inner_; }

 private:
  const std::shared_ptr<Request> inner_;
  const std::shared_ptr<RequestPool> pool_;
};

}  // namespace ombrix::http
