// Where the caller is, as told by the geolocation service.
#pragma once

#include <string>

#include "manifest/input_manifest.h"

namespace ombrix {

// Guarantees after a successful Read: ip and country code are not empty; the other
// values are empty when the answer lacks them. Immutable after Read; safe to share.
class GeolocationManifest : public InputManifest {
 public:
  virtual const std::string& GetIp() const = 0;
  virtual const std::string& GetCountryCode() const = 0;
  virtual const std::string& GetCountryName() const = 0;
  virtual const std::string& GetCountryCode3() const = 0;
  virtual const std::string& GetContinentCode() const = 0;
  virtual const std::string& GetIsp() const = 0;
};

// Read from the members "ip", "country_code" (both required and not empty),
// "country_name", "country_code3", "continent_code" and "isp" of the top-level
// object; other members are ignored. Read throws ManifestParseException and leaves
// the record unchanged otherwise.
class StandardGeolocationManifest : public GeolocationManifest {
 public:
  void Read(const boost::property_tree::ptree& tree) override;

  const std::string& GetIp() const override { return ip; }
  const std::string& GetCountryCode() const override { return countryCode; }
  const std::string& GetCountryName() const override { return countryName; }
  const std::string& GetCountryCode3() const override { return countryCode3; }
  const std::string& GetContinentCode() const override { return continentCode; }
  const std::string& GetIsp() const override { return isp; }

 private:
  std::string ip;
  std::string countryName;
  std::string countryCode;
  std::string countryCode3;
  std::string continentCode;
  std::string isp;
};

}  // namespace ombrix
