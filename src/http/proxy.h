// The proxy a request goes through, and the factory that discovers it.
#pragma once

#include <memory>
#include <string>

namespace ombrix::http {

// Tells which proxy to use for a URL. Implementations are immutable after
// construction (or change only atomically), so one proxy may serve the requests of
// a session on several threads at once. Never throws: anything unknown is direct.
class Proxy {
 public:
  Proxy() = default;
  virtual ~Proxy() = default;
  Proxy(const Proxy&) = delete;
  Proxy& operator=(const Proxy&) = delete;

  // A description of the configuration, reported with every request; never holds
  // credentials (they show as "***").
  virtual std::string Describe() const = 0;
  // The proxy ("host:port", optionally with a scheme and with "user:password@"
  // before the host) for `url`; empty = direct. The credentials in it are for the
  // request alone: whoever reports the address reports RedactProxyCredentials of it.
  virtual std::string GetProxyForUrl(const std::string& url) const = 0;
};

// A direct connection for every URL.
class EmptyProxy : public Proxy {
 public:
  std::string Describe() const override { return {}; }
  std::string GetProxyForUrl(const std::string&) const override { return {}; }
};

// Reads the user's proxy configuration anew on every call. Never throws; a
// configuration that cannot be read gives an EmptyProxy. Thread-safe.
class ProxyFactory {
 public:
  ProxyFactory() = default;
  virtual ~ProxyFactory() = default;
  ProxyFactory(const ProxyFactory&) = delete;
  ProxyFactory& operator=(const ProxyFactory&) = delete;

  virtual std::shared_ptr<Proxy> CreateProxy() = 0;
};

}  // namespace ombrix::http
