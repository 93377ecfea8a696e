#include "http/pooled_request_wrapper.h"

namespace ombrix::http {

PooledRequestWrapper::PooledRequestWrapper(std::shared_ptr<Request> inner,
                                           std::shared_ptr<RequestPool> pool)
    : inner_(std::move(inner)), pool_(std::move(pool)) {}

PooledRequestWrapper::~PooledRequestWrapper() {
  try {
    pool_->Release(inner_);
  } catch (...) {
    // Giving a request back must never fail its holder.
  }
}

}  // namespace ombrix::http
