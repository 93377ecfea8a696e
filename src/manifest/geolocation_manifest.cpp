#include "manifest/geolocation_manifest.h"

#include <boost/property_tree/ptree.hpp>

#include "manifest/manifest_document.h"
#include "manifest/manifest_exceptions.h"

namespace ombrix {

void StandardGeolocationManifest::Read(const boost::property_tree::ptree& tree) {
  StandardGeolocationManifest read;
  read.ip = RequiredText(tree, "ip");
  read.countryCode = RequiredText(tree, "country_code");
  read.countryName = OptionalText(tree, "country_name").value_or("");
  read.countryCode3 = OptionalText(tree, "country_code3").value_or("");
  read.continentCode = OptionalText(tree, "continent_code").value_or("");
  read.isp = OptionalText(tree, "isp").value_or("");
  if (read.ip.empty() || read.countryCode.empty()) throw ManifestParseException();
  *this = std::move(read);
}

}  // namespace ombrix
