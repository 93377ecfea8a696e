// The user's proxy configuration on Linux: the environment, read the way curl does.
#pragma once

#include <memory>
#include <optional>

#include "common/environment.h"
#include "http/proxy.h"

namespace ombrix::http::posix {

// Reads the proxy variables on every CreateProxy: http_proxy, https_proxy and
// all_proxy (lower case first, then upper case; HTTP_PROXY is never read, as curl
// ignores it) and no_proxy (or NO_PROXY) become an EnvironmentProxy, each value
// kept whole. No proxy variable (or only empty ones) gives an EmptyProxy.
// Thread-safe; never throws.
class ProxyFactoryImpl : public ProxyFactory {
 public:
  // Reads the process environment at each call.
  ProxyFactoryImpl() = default;
  // Reads `environment` instead (tests).
  explicit ProxyFactoryImpl(Environment environment) : environment_(std::move(environment)) {}

  std::shared_ptr<Proxy> CreateProxy() override;

 private:
  const std::optional<Environment> environment_;
};

}  // namespace ombrix::http::posix
