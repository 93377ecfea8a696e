#include "http/posix/proxy_factory_impl.h"

#include <cctype>

#include "http/manual_proxy.h"

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

void Append(std::string& list, const std::string& entry) {
  if (entry.empty()) return;
  if (!list.empty()) list += ';';
  list += entry;
}

// no_proxy names hosts (and their subdomains) as curl reads them: entries split at
// commas and white space, a leading "." ignored, letter case ignored (host names
// are compared in lower case, the way URLs carry them).
std::string BypassListFromNoProxy(const std::string& noProxy) {
  std::string list;
  std::string entry;
  auto flush = [&] {
    std::string name = entry;
    entry.clear();
    while (!name.empty() && name.front() == '.') name.erase(0, 1);
    if (name.empty()) return;
    if (name == "*") {
      Append(list, "*");
      return;
    }
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    Append(list, name);
    Append(list, "*." + name);
  };
  for (char c : noProxy) {
    if (c == ',' || std::isspace(static_cast<unsigned char>(c))) {
      flush();
    } else {
      entry += c;
    }
  }
  flush();
  return list;
}

}  // namespace

ProxyFactoryImpl::Lists ProxyFactoryImpl::ListsFromEnvironment(const Environment& environment) {
  Lists lists;
  // HTTP_PROXY is not read: a CGI program gets the request's "Proxy:" header under
  // that name, which is why curl ignores it too.
  const std::string http = Variable(environment, "http_proxy", "");
  const std::string https = Variable(environment, "https_proxy", "HTTPS_PROXY");
  const std::string all = Variable(environment, "all_proxy", "ALL_PROXY");
  if (!http.empty()) Append(lists.proxyList, "http=" + http);
  if (!https.empty()) Append(lists.proxyList, "https=" + https);
  Append(lists.proxyList, all);
  if (lists.proxyList.empty()) return lists;
  lists.bypassList = BypassListFromNoProxy(Variable(environment, "no_proxy", "NO_PROXY"));
  return lists;
}

std::shared_ptr<Proxy> ProxyFactoryImpl::CreateProxy() {
  try {
    Lists lists = ListsFromEnvironment(environment_ ? *environment_ : Environment::Current());
    if (lists.proxyList.empty()) return std::make_shared<EmptyProxy>();
    return std::make_shared<ManualProxy>(std::move(lists.proxyList), std::move(lists.bypassList));
  } catch (...) {
    return std::make_shared<EmptyProxy>();
  }
}

}  // namespace ombrix::http::posix
