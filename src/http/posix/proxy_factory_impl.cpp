#include "http/posix/proxy_factory_impl.h"

#include "http/posix/environment_proxy.h"

namespace ombrix::http::posix {

namespace {

// curl's rule: the lower-case name wins; an empty value counts as unset.
std::string Variable(const Environment& environment, const std::string& lower,
                     const std::string& upper) {
  if (auto value = environment.Get(lower); value && !value->empty()) return *value;
  if (upper.empty()) return {};
  if (auto value = environment.Get(upper); value && !value->empty()) return *value;
  return {};
}

std::shared_ptr<Proxy> FromEnvironment(const Environment& environment) {
  // HTTP_PROXY is not read: a CGI program gets the request's "Proxy:" header under
  // that name, which is why curl ignores it too.
  std::string http = Variable(environment, "http_proxy", "");
  std::string https = Variable(environment, "https_proxy", "HTTPS_PROXY");
  std::string all = Variable(environment, "all_proxy", "ALL_PROXY");
  if (http.empty() && https.empty() && all.empty()) return std::make_shared<EmptyProxy>();
  return std::make_shared<EnvironmentProxy>(std::move(http), std::move(https), std::move(all),
                                            Variable(environment, "no_proxy", "NO_PROXY"));
}

}  // namespace

std::shared_ptr<Proxy> ProxyFactoryImpl::CreateProxy() {
  try {
    return FromEnvironment(environment_ ? *environment_ : Environment::Current());
  } catch (...) {
    return std::make_shared<EmptyProxy>();
  }
}

}  // namespace ombrix::http::posix
