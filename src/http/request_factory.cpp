#include "http/request_factory.h"

#include "http/pooled_request_wrapper.h"

namespace ombrix::http {

std::shared_ptr<Request> RequestFactory::CreateRequest(const RequestOptions& options) {
  return CreateRequest(options, proxyFactory_.CreateProxy());
}

std::shared_ptr<Request> RequestFactory::CreateRequest(const RequestOptions& options,
                                                       const std::shared_ptr<Session>& session) {
  std::shared_ptr<RequestPool> pool = session ? session->GetPool() : nullptr;
  if (!pool) return CreateRequest(options);

  std::shared_ptr<Proxy> proxy = session->GetProxy();
  if (!proxy) {
    proxy = proxyFactory_.CreateProxy();
    session->SetProxy(proxy);
  }
  std::shared_ptr<Request> request = pool->Acquire(options, proxy);
  if (!request) {
    request = CreateRequest(options, proxy);
    pool->Add(request, false);  // a member, but in use right away
  }
  return std::make_shared<PooledRequestWrapper>(std::move(request), std::move(pool));
}

}  // namespace ombrix::http
