#include "http/proxy_credentials.h"

#include "common/hex.h"

namespace ombrix::http {

namespace {

struct UserPart {
  std::size_t begin = 0;  // first character of the user part
  std::size_t at = std::string_view::npos;  // its closing "@"; npos without one
};

// The last "@" ends the user part, so that an unencoded "@" in a password is still
// hidden; the user part begins after "://" or after a leading "scheme=" when either
// comes before that "@".
UserPart FindUserPart(std::string_view proxy) {
  UserPart part;
  part.at = proxy.rfind('@');
  if (part.at == std::string_view::npos) return part;
  const std::size_t scheme = proxy.find("://");
  if (scheme != std::string_view::npos && scheme < part.at) {
    part.begin = scheme + 3;
    return part;
  }
  const std::size_t equals = proxy.find('=');
  if (equals != std::string_view::npos && equals < part.at &&
      proxy.substr(0, equals).find_first_of(":/@") == std::string_view::npos) {
    part.begin = equals + 1;
  }
  return part;
}

std::string PercentDecoded(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexDigitValue(text[i + 1]) >= 0 &&
        HexDigitValue(text[i + 2]) >= 0) {
      decoded += static_cast<char>(HexDigitValue(text[i + 1]) * 16 + HexDigitValue(text[i + 2]));
      i += 2;
    } else {
      decoded += text[i];
    }
  }
  return decoded;
}

}  // namespace

ProxyCredentials SplitProxyCredentials(std::string_view proxy) {
  ProxyCredentials credentials;
  const UserPart part = FindUserPart(proxy);
  if (part.at == std::string_view::npos) {
    credentials.address = std::string(proxy);
    return credentials;
  }
  credentials.present = true;
  credentials.address = std::string(proxy.substr(0, part.begin)) + std::string(proxy.substr(part.at + 1));
  const std::string_view userInfo = proxy.substr(part.begin, part.at - part.begin);
  const std::size_t colon = userInfo.find(':');
  credentials.user = PercentDecoded(userInfo.substr(0, colon));
  if (colon != std::string_view::npos) {
    credentials.rawPassword = std::string(userInfo.substr(colon + 1));
    credentials.password = PercentDecoded(credentials.rawPassword);
  }
  return credentials;
}

std::string RedactProxyCredentials(std::string_view proxy) {
  const UserPart part = FindUserPart(proxy);
  if (part.at == std::string_view::npos) return std::string(proxy);
  return std::string(proxy.substr(0, part.begin)) + "***" + std::string(proxy.substr(part.at));
}

}  // namespace ombrix::http
