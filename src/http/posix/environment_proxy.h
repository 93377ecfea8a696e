// The proxy the environment names: http_proxy, https_proxy, all_proxy and no_proxy.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "http/proxy.h"

namespace ombrix::http::posix {

// The hosts a no_proxy value exempts from the proxy. Entries are separated by
// commas and white space:
// - "example.com" (a leading and a trailing "." ignored) names the host and every
//   host below it, in any letter case;
// - "192.168.0.1", "::1" or "[::1]" name an address, "10.0.0.0/8" or "fd00::/8"
//   (also "[fd00::]/8") a CIDR range; addresses match only URLs that carry an
//   address, never a name that resolves to it;
// - any of these with ":port" ("intranet:8080", "[::1]:8080") applies to that
//   port only;
// - the whole value "*" exempts every host ("*" inside a list names nothing).
// Malformed entries name nothing. Immutable, so thread-safe.
class NoProxyList {
 public:
  explicit NoProxyList(std::string_view noProxy);

  // True when `host` (a name, an IPv4 address, or an IPv6 address with or without
  // brackets) on `port` is exempt.
  bool Matches(std::string_view host, std::uint16_t port) const;

 private:
  enum class Kind { Name, IPv4, IPv6 };
  struct Entry {
    Kind kind = Kind::Name;
    std::string name;                     // Name: lower case, no leading/trailing "."
    std::array<std::uint8_t, 16> address{};  // IPv4 in the first 4 bytes
    unsigned prefixBits = 0;              // addresses: the bits that must match
    std::optional<std::uint16_t> port;
  };
  static std::optional<Entry> Parse(std::string_view token);

  bool everything_ = false;
  std::vector<Entry> entries_;
};

// The environment's proxies, each kept as one whole value so that no character of
// a password can split it: for an "https" URL https_proxy, for any other scheme
// http_proxy, each falling back to all_proxy; a host exempt by no_proxy is direct.
// Immutable, so thread-safe.
class EnvironmentProxy : public Proxy {
 public:
  EnvironmentProxy(std::string httpProxy, std::string httpsProxy, std::string allProxy,
                   std::string_view noProxy);

  // "http=<http_proxy>;https=<https_proxy>;<all_proxy>" with the unset parts left
  // out and every user part shown as "***".
  std::string Describe() const override;
  std::string GetProxyForUrl(const std::string& url) const override;

 private:
  const std::string httpProxy_;
  const std::string httpsProxy_;
  const std::string allProxy_;
  const NoProxyList noProxy_;
};

}  // namespace ombrix::http::posix
