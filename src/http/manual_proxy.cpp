#include "http/manual_proxy.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include <Poco/Exception.h>
#include <Poco/URI.h>

#include "http/proxy_credentials.h"

namespace ombrix::http {

namespace {

std::vector<std::string_view> SplitList(std::string_view list) {
  std::vector<std::string_view> entries;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find_first_of(",; ", start);
    if (end == std::string_view::npos) end = list.size();
    if (end > start) entries.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return entries;
}

// Whole-text match where "*" stands for any run of characters and every other
// character (a dot included) stands for itself, case-sensitively. Other characters
// that a regular expression would treat specially are literal here, so no pattern
// can be malformed.
bool WildcardMatch(std::string_view pattern, std::string_view text) {
  std::size_t p = 0, t = 0;
  std::size_t starAt = std::string_view::npos, resumeAt = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starAt = p++;
      resumeAt = t;
    } else if (p < pattern.size() && pattern[p] == text[t]) {
      ++p;
      ++t;
    } else if (starAt != std::string_view::npos) {
      p = starAt + 1;
      t = ++resumeAt;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

bool MatchesBypassList(const std::string& host, const std::string& bypassList) {
  for (std::string_view pattern : SplitList(bypassList)) {
    if (WildcardMatch(pattern, host)) return true;
  }
  return false;
}

std::string ManualProxy::Describe() const {
  std::string described;
  std::size_t start = 0;
  while (start < proxyList.size()) {
    const std::size_t end = std::min(proxyList.find_first_of(",; ", start), proxyList.size());
    described += RedactProxyCredentials(std::string_view(proxyList).substr(start, end - start));
    if (end < proxyList.size()) described += proxyList[end];
    start = end + 1;
  }
  return described;
}

std::string SelectProxy(const std::string& url, const std::string& proxyList,
                        const std::string& bypassList) {
  std::string scheme = "http";
  std::string host;
  try {
    Poco::URI uri(url);
    if (uri.getScheme() == "https") scheme = "https";
    host = uri.getHost();
  } catch (const Poco::Exception&) {
    // An unparsable URL is treated as plain http without a host.
  }

  const std::vector<std::string_view> entries = SplitList(proxyList);
  if (entries.empty()) return {};

  const std::string prefix = scheme + "=";
  std::string_view specific, generic;
  bool haveSpecific = false, haveGeneric = false;
  for (std::string_view entry : entries) {
    if (!haveSpecific && entry.starts_with(prefix)) {
      specific = entry.substr(prefix.size());
      haveSpecific = true;
    } else if (!haveGeneric && entry.find('=') == std::string_view::npos) {
      generic = entry;
      haveGeneric = true;
    }
  }
  const std::string_view chosen = haveSpecific ? specific : generic;
  if (chosen.empty() || chosen == ":" || chosen == "::") return {};
  if (MatchesBypassList(host, bypassList)) return {};
  return std::string(chosen);
}

}  // namespace ombrix::http
