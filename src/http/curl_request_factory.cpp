#include "http/curl_request_factory.h"

#include "http/curl_request.h"

namespace ombrix::http {

std::shared_ptr<Request> CurlRequestFactory::CreateRequest(const RequestOptions& options,
                                                           std::shared_ptr<Proxy> proxy) {
  return std::make_shared<CurlRequest>(options, std::move(proxy));
}

}  // namespace ombrix::http
