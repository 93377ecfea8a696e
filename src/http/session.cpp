#include "http/session.h"

#include "http/round_robin_request_pool.h"
#include "http/session_factory.h"

namespace ombrix::http {

std::shared_ptr<Proxy> Session::GetProxy() const {
  std::lock_guard<std::mutex> guard(lock_);
  return proxy_;
}

void Session::SetProxy(std::shared_ptr<Proxy> proxy) {
  std::lock_guard<std::mutex> guard(lock_);
  proxy_ = std::move(proxy);
}

std::shared_ptr<Session> RoundRobinSessionFactory::CreateSession() {
  return std::make_shared<Session>(std::make_shared<RoundRobinRequestPool>());
}

}  // namespace ombrix::http
