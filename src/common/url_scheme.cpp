#include "common/url_scheme.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "deployment.h"

namespace ombrix {

const char* UrlScheme() {
  static const char* const scheme = [] {
    const char* https = std::getenv("OMBRIX_HTTPS");
    return https != nullptr && std::strcmp(https, "1") == 0 ? "https" : deployment::kUrlScheme;
  }();
  return scheme;
}

const char* ExtraCaBundle() {
  static const std::string bundle = [] {
    const char* named = std::getenv("OMBRIX_CA_BUNDLE");
    return std::string(named != nullptr ? named : "");
  }();
  return bundle.empty() ? nullptr : bundle.c_str();
}

}  // namespace ombrix
