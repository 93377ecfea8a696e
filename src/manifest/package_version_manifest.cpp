#include "manifest/package_version_manifest.h"

#include <algorithm>

#include <boost/property_tree/ptree.hpp>

#include "manifest/manifest_document.h"
#include "manifest/manifest_exceptions.h"

namespace ombrix {

namespace {

GeofencePolicy ToPolicy(const std::string& text) {
  if (text.empty()) return GeofencePolicy::NotGiven;
  if (text == "None") return GeofencePolicy::None;
  if (text == "Whitelist") return GeofencePolicy::Whitelist;
  if (text == "Blacklist") return GeofencePolicy::Blacklist;
  throw ManifestParseException();
}

}  // namespace

PackageVersionManifest::PackageVersionManifest(std::string id, std::string run,
                                               GeofencePolicy policy,
                                               std::vector<std::string> countryCodes)
    : id(std::move(id)), run(std::move(run)), policy(policy), countryCodes(std::move(countryCodes)) {}

void PackageVersionManifest::Read(const boost::property_tree::ptree& tree) {
  PackageVersionManifest read;
  read.id = RequiredText(tree, "id");
  read.run = OptionalText(tree, "run").value_or("");
  read.policy = ToPolicy(OptionalText(tree, "policy").value_or(""));
  if (const auto* codes = OptionalChild(tree, "countryCodes")) {
    for (const auto& [key, code] : *codes) {
      if (key != "countryCode") throw ManifestParseException();
      read.countryCodes.push_back(code.data());
    }
  }
  if (read.id.empty()) throw ManifestParseException();
  if (!read.countryCodes.empty() && read.policy == GeofencePolicy::NotGiven) {
    throw ManifestParseException();
  }
  for (const auto& code : read.countryCodes) {
    if (code.size() != 2) throw ManifestParseException();
  }
  if (read.policy == GeofencePolicy::NotGiven) read.policy = GeofencePolicy::None;
  *this = std::move(read);
}

bool PackageVersionManifest::IsAllowed(const std::string& countryCode) const {
  if (policy != GeofencePolicy::Whitelist && policy != GeofencePolicy::Blacklist) return true;
  const bool listed =
      std::find(countryCodes.begin(), countryCodes.end(), countryCode) != countryCodes.end();
  return policy == GeofencePolicy::Whitelist ? listed : !listed;
}

}  // namespace ombrix
