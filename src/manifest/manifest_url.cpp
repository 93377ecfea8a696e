#include "manifest/manifest_url.h"

#include <Poco/Exception.h>
#include <Poco/URI.h>

#include "common/url_scheme.h"
#include "manifest/manifest_exceptions.h"

namespace ombrix {

std::string ComposeManifestUrl(const std::string& authority, const std::string& pathEtc) {
  try {
    Poco::URI uri;
    uri.setScheme(UrlScheme());
    uri.setAuthority(authority);
    uri.setPathEtc(pathEtc);
    return uri.toString();
  } catch (const Poco::Exception&) {
    throw ManifestLocatorException();
  }
}

}  // namespace ombrix
