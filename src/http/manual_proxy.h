// A fixed proxy list with a bypass list, and the rules that pick a proxy from them.
#pragma once

#include <string>

#include "http/proxy.h"

namespace ombrix::http {

// The proxy for `url` from `proxyList` (entries separated by commas, semicolons or
// spaces: "scheme=host:port" for one scheme, or a generic "host:port"), empty for a
// direct connection. The URL's scheme counts as "https" only when it is exactly
// "https", else as "http"; a scheme-specific entry wins over the generic one; a
// host matching the bypass list, or a chosen entry of "", ":" or "::", is direct.
std::string SelectProxy(const std::string& url, const std::string& proxyList,
                        const std::string& bypassList);

// True when a pattern of `bypassList` (separated like the proxy list; "*" matches
// any run of characters, everything else literally and case-sensitively) matches
// the whole of `host`.
bool MatchesBypassList(const std::string& host, const std::string& bypassList);

// A proxy configured by hand. Immutable, so thread-safe.
class ManualProxy : public Proxy {
 public:
  ManualProxy(std::string proxyList, std::string bypassList)
      : proxyList(std::move(proxyList)), bypassList(std::move(bypassList)) {}

  // The proxy list, with the user part of every entry that has one replaced by
  // "***" (RedactProxyCredentials): credentials never reach a report.
  std::string Describe() const override;
  std::string GetProxyForUrl(const std::string& url) const override {
    return SelectProxy(url, proxyList, bypassList);
  }

  const std::string proxyList;
  const std::string bypassList;
};

}  // namespace ombrix::http
