#include "manifest/geolocation_manifest.h"

#include <sstream>

#include <boost/property_tree/ptree.hpp>
#include <gtest/gtest.h>

#include "manifest/manifest_document.h"
#include "manifest/manifest_exceptions.h"

namespace ombrix {
namespace {

StandardGeolocationManifest ReadGeo(const std::string& json) {
  std::istringstream stream(json);
  boost::property_tree::ptree tree;
  ReadJsonDocument(stream, tree);
  StandardGeolocationManifest geo;
  geo.Read(tree);
  return geo;
}

TEST(GeolocationRead, ReadsMembersAndIgnoresOthers) {
  const auto geo = ReadGeo(
      R"({"ip":"192.0.2.7","country_code":"SE","country_name":"Sweden","country_code3":"SWE",)"
      R"("continent_code":"EU","isp":"Net AB","latitude":59.3,"extra":{"a":[1,2]}})");
  EXPECT_EQ(geo.GetIp(), "192.0.2.7");
  EXPECT_EQ(geo.GetCountryCode(), "SE");
  EXPECT_EQ(geo.GetCountryName(), "Sweden");
  EXPECT_EQ(geo.GetCountryCode3(), "SWE");
  EXPECT_EQ(geo.GetContinentCode(), "EU");
  EXPECT_EQ(geo.GetIsp(), "Net AB");
}

TEST(GeolocationRead, OptionalMembersDefaultToEmpty) {
  const auto geo = ReadGeo(R"({"ip":"192.0.2.7","country_code":"se"})");
  EXPECT_EQ(geo.GetCountryCode(), "se");
  EXPECT_EQ(geo.GetIsp(), "");
  EXPECT_EQ(geo.GetCountryName(), "");
}

TEST(GeolocationRead, ScalarsKeepTheirTextAsWritten) {
  const auto geo = ReadGeo(R"({"ip":1234,"country_code":true,"isp":null})");
  EXPECT_EQ(geo.GetIp(), "1234");
  EXPECT_EQ(geo.GetCountryCode(), "true");
  EXPECT_EQ(geo.GetIsp(), "null");
}

TEST(GeolocationRead, RequiredMembers) {
  EXPECT_THROW(ReadGeo(R"({"ip":"1.2.3.4","country_code":""})"), ManifestParseException);
  EXPECT_THROW(ReadGeo(R"({"ip":"","country_code":"SE"})"), ManifestParseException);
  EXPECT_THROW(ReadGeo(R"({"country_code":"SE"})"), ManifestParseException);
  EXPECT_THROW(ReadGeo(R"({"ip":"1.2.3.4"})"), ManifestParseException);
  EXPECT_THROW(ReadGeo(R"({"ip":"1.2.3.4","country_code":"SE")"), ManifestParseException);
  EXPECT_THROW(ReadGeo("<xml/>"), ManifestParseException);
}

}  // namespace
}  // namespace ombrix
