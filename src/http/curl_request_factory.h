// The factory of libcurl requests.
#pragma once

#include "http/request_factory.h"

namespace ombrix::http {

// Creates CurlRequest objects. Thread-safe.
class CurlRequestFactory : public RequestFactory {
 public:
  using RequestFactory::RequestFactory;
  using RequestFactory::CreateRequest;

  std::shared_ptr<Request> CreateRequest(const RequestOptions& options,
                                         std::shared_ptr<Proxy> proxy) override;
};

}  // namespace ombrix::http
