// Makes requests, with a proxy discovered per request or once per session.
#pragma once

#include <memory>

#include "http/proxy.h"
#include "http/request.h"
#include "http/request_options.h"
#include "http/session.h"

namespace ombrix::http {

// Creates requests. The proxy factory is not owned and must outlive this factory.
// Thread-safe as far as the proxy factory is. Failures to create a request are
// exceptions (std::runtime_error); transfer failures are results.
class RequestFactory {
 public:
  explicit RequestFactory(ProxyFactory& proxyFactory) : proxyFactory_(proxyFactory) {}
  virtual ~RequestFactory() = default;
  RequestFactory(const RequestFactory&) = delete;
  RequestFactory& operator=(const RequestFactory&) = delete;

  // A new request that uses `proxy`.
  virtual std::shared_ptr<Request> CreateRequest(const RequestOptions& options,
                                                 std::shared_ptr<Proxy> proxy) = 0;

  // A new, unpooled request with a newly discovered proxy.
  std::shared_ptr<Request> CreateRequest(const RequestOptions& options);

  // A request of `session`: an idle one of its pool reset with `options`, or a new
  // pooled one; it returns to the pool when the last holder lets go. The session's
  // proxy is discovered on its first request and reused afterwards. Without a
  // session (or pool) this is CreateRequest(options).
  std::shared_ptr<Request> CreateRequest(const RequestOptions& options,
                                         const std::shared_ptr<Session>& session);

 protected:
  ProxyFactory& GetProxyFactory() const { return proxyFactory_; }

 private:
  ProxyFactory& proxyFactory_;
};

}  // namespace ombrix::http
