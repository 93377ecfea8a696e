#include "http/posix/environment_proxy.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include <Poco/Exception.h>
#include <Poco/URI.h>

#include "http/proxy_credentials.h"

namespace ombrix::http::posix {

namespace {

bool IsSeparator(char c) { return c == ',' || std::isspace(static_cast<unsigned char>(c)); }

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

// A decimal number of 1 to 5 digits no larger than `limit`.
std::optional<unsigned> Number(std::string_view text, unsigned limit) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  unsigned value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value > limit) return std::nullopt;
  return value;
}

bool ParseIPv4(const std::string& text, std::array<std::uint8_t, 16>& address) {
  return ::inet_pton(AF_INET, text.c_str(), address.data()) == 1;
}

bool ParseIPv6(const std::string& text, std::array<std::uint8_t, 16>& address) {
  return ::inet_pton(AF_INET6, text.c_str(), address.data()) == 1;
}

bool PrefixMatches(const std::array<std::uint8_t, 16>& a, const std::array<std::uint8_t, 16>& b,
                   unsigned bits) {
  const unsigned whole = bits / 8;
  if (std::memcmp(a.data(), b.data(), whole) != 0) return false;
  if (bits % 8 == 0) return true;
  const auto mask = static_cast<std::uint8_t>(0xFF << (8 - bits % 8));
  return (a[whole] & mask) == (b[whole] & mask);
}

}  // namespace

NoProxyList::NoProxyList(std::string_view noProxy) {
  std::string_view trimmed = noProxy;
  while (!trimmed.empty() && IsSeparator(trimmed.front())) trimmed.remove_prefix(1);
  while (!trimmed.empty() && IsSeparator(trimmed.back())) trimmed.remove_suffix(1);
  if (trimmed == "*") {
    everything_ = true;
    return;
  }
  std::size_t start = 0;
  while (start < noProxy.size()) {
    std::size_t end = start;
    while (end < noProxy.size() && !IsSeparator(noProxy[end])) ++end;
    if (end > start) {
      if (auto entry = Parse(noProxy.substr(start, end - start))) entries_.push_back(std::move(*entry));
    }
    start = end + 1;
  }
}

std::optional<NoProxyList::Entry> NoProxyList::Parse(std::string_view token) {
  Entry entry;
  std::string_view host = token;
  std::string_view rest;  // what follows the host: ":port" or "/bits"
  if (!token.empty() && token.front() == '[') {
    const std::size_t close = token.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    host = token.substr(1, close - 1);
    rest = token.substr(close + 1);
  } else if (std::count(token.begin(), token.end(), ':') == 1) {
    const std::size_t colon = token.find(':');
    host = token.substr(0, colon);
    rest = token.substr(colon);
  }
  // A CIDR suffix may stand inside the host ("10.0.0.0/8", "fd00::/8") or after
  // the brackets ("[fd00::]/8").
  std::optional<unsigned> bits;
  std::string_view bitsText;
  if (const std::size_t slash = host.find('/'); slash != std::string_view::npos) {
    bitsText = host.substr(slash + 1);
    host = host.substr(0, slash);
  } else if (!rest.empty() && rest.front() == '/') {
    bitsText = rest.substr(1);
    rest = {};
  }
  if (!rest.empty()) {
    if (rest.front() != ':') return std::nullopt;
    const auto port = Number(rest.substr(1), 65535);
    if (!port || *port == 0) return std::nullopt;
    entry.port = static_cast<std::uint16_t>(*port);
  }

  const std::string text(host);
  if (ParseIPv4(text, entry.address)) {
    entry.kind = Kind::IPv4;
    entry.prefixBits = 32;
  } else if (ParseIPv6(text, entry.address)) {
    entry.kind = Kind::IPv6;
    entry.prefixBits = 128;
  } else {
    if (!bitsText.empty() || token.find('/') != std::string_view::npos) return std::nullopt;
    if (!host.empty() && host.front() == '.') host.remove_prefix(1);
    if (!host.empty() && host.back() == '.') host.remove_suffix(1);
    if (host.empty()) return std::nullopt;
    entry.name = Lower(host);
    return entry;
  }
  if (token.find('/') != std::string_view::npos) {
    bits = Number(bitsText, entry.prefixBits);
    if (!bits) return std::nullopt;
    entry.prefixBits = *bits;
  }
  return entry;
}

bool NoProxyList::Matches(std::string_view host, std::uint16_t port) const {
  if (everything_) return true;
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  std::array<std::uint8_t, 16> address{};
  const std::string text(host);
  Kind kind = Kind::Name;
  if (ParseIPv4(text, address)) {
    kind = Kind::IPv4;
  } else if (ParseIPv6(text, address)) {
    kind = Kind::IPv6;
  }
  std::string name;
  if (kind == Kind::Name) {
    if (!host.empty() && host.back() == '.') host.remove_suffix(1);
    name = Lower(host);
  }
  for (const Entry& entry : entries_) {
    if (entry.kind != kind || (entry.port && *entry.port != port)) continue;
    if (kind != Kind::Name) {
      if (PrefixMatches(entry.address, address, entry.prefixBits)) return true;
      continue;
    }
    // "example.com" names itself and what lies below it, never "badexample.com".
    if (name == entry.name) return true;
    if (name.size() > entry.name.size() && name.ends_with(entry.name) &&
        name[name.size() - entry.name.size() - 1] == '.') {
      return true;
    }
  }
  return false;
}

EnvironmentProxy::EnvironmentProxy(std::string httpProxy, std::string httpsProxy,
                                   std::string allProxy, std::string_view noProxy)
    : httpProxy_(std::move(httpProxy)),
      httpsProxy_(std::move(httpsProxy)),
      allProxy_(std::move(allProxy)),
      noProxy_(noProxy) {}

std::string EnvironmentProxy::Describe() const {
  std::string described;
  auto append = [&](const char* prefix, const std::string& proxy) {
    if (proxy.empty()) return;
    if (!described.empty()) described += ';';
    described += prefix;
    described += RedactProxyCredentials(proxy);
  };
  append("http=", httpProxy_);
  append("https=", httpsProxy_);
  append("", allProxy_);
  return described;
}

std::string EnvironmentProxy::GetProxyForUrl(const std::string& url) const {
  bool https = false;
  std::string host;
  std::uint16_t port = 0;
  try {
    Poco::URI uri(url);
    https = uri.getScheme() == "https";
    host = uri.getHost();
    port = uri.getPort();
  } catch (const Poco::Exception&) {
    // An unparsable URL is treated as plain http without a host.
  }
  const std::string& chosen = https ? httpsProxy_ : httpProxy_;
  const std::string& proxy = chosen.empty() ? allProxy_ : chosen;
  if (proxy.empty() || noProxy_.Matches(host, port)) return {};
  return proxy;
}

}  // namespace ombrix::http::posix
