// The version record of a package: its identifier, run file and geofence.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "manifest/input_manifest.h"

namespace ombrix {

// How the country codes of a version are applied. NotGiven exists only while a
// record is being read; a successfully read version never keeps it.
enum class GeofencePolicy : std::uint8_t { NotGiven = 0, None = 1, Whitelist = 2, Blacklist = 3 };

// Guarantees after a successful Read: id is not empty, policy is None, Whitelist or
// Blacklist, every country code has exactly 2 characters, and codes are present
// only with a policy. Read throws ManifestParseException otherwise and leaves the
// record unchanged. Immutable after Read; safe to share between threads.
class PackageVersionManifest : public InputManifest {
 public:
  PackageVersionManifest() = default;
  PackageVersionManifest(std::string id, std::string run, GeofencePolicy policy,
                         std::vector<std::string> countryCodes);

  void Read(const boost::property_tree::ptree& tree) override;

  const std::string& GetId() const { return id; }
  const std::string& GetRun() const { return run; }
  GeofencePolicy GetPolicy() const { return policy; }
  const std::vector<std::string>& GetCountryCodes() const { return countryCodes; }

  // The geofence decision for one country (exact, case-sensitive comparison): None
  // allows all, Whitelist allows listed codes only, Blacklist refuses listed codes.
  bool IsAllowed(const std::string& countryCode) const;

 private:
  std::string id;
  std::string run;
  GeofencePolicy policy = GeofencePolicy::NotGiven;
  std::vector<std::string> countryCodes;
};

}  // namespace ombrix
