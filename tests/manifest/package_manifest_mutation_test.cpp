// Feeds the package reader documents mutated from valid seeds: every outcome must
// be a record or ManifestParseException, never another exception or a crash.
#include <algorithm>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <boost/property_tree/ptree.hpp>
#include <gtest/gtest.h>

#include "manifest/manifest_document.h"
#include "manifest/manifest_exceptions.h"
#include "manifest/package_manifest.h"

namespace ombrix {
namespace {

const std::vector<std::string> kSeeds = {
    "<?xml version=\"1.0\"?><package><id>abc</id><name>App</name><partnerId>p</partnerId>"
    "<versionId>42</versionId><run>bin/app</run><isActive>true</isActive>"
    "<version><id>42</id><run>bin/app</run><policy>Whitelist</policy><countryCodes>"
    "<countryCode>SE</countryCode></countryCodes></version><files><file><path>bin/app</path>"
    "<chunksize>4</chunksize><size>10</size><checksums>0123456789abcdefABCDEF00</checksums>"
    "</file></files></package>",
    "<package id=\"a\" name=\"n\" partnerId=\"p\" versionId=\"v\"><!-- c --><files>"
    "<file path=\"x\" chunksize=\"1048576\" size=\"0\" checksums=\"\"/></files></package>",
    // Mostly path: mutations land in it and must keep it below the destination.
    "<package id=\"a\" name=\"n\" partnerId=\"p\" versionId=\"v\"><files><file path=\""
    "data/levels/one/two/three/four/five/six/seven/eight/nine/ten/eleven/twelve.bin\" "
    "chunksize=\"1\" size=\"0\" checksums=\"\"/></files></package>",
};

const std::vector<std::string> kFragments = {
    "<", ">", "/>", "</file>", "<file>", "<!--", "-->", "\"", "&amp;", "&#0;", "..", "/", "\\",
    "<![CDATA[", "]]>", "4294967296", "18446744073709551615", "-", " ", "<xmlattr>", "\xff",
    "&#1;", "&#31;", "&#127;", "\t"};

// The safety of an accepted path, stated without the reader's own check: no
// control character, not absolute, and joined to a destination folder (with "\"
// read as a separator, as on Windows) it normalises to a place strictly below it.
bool StaysBelowDestination(const std::string& path) {
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return false;
  }
  std::string portable = path;
  std::replace(portable.begin(), portable.end(), '\\', '/');
  const std::filesystem::path relative(portable);
  if (relative.empty() || relative.has_root_path()) return false;
  const std::filesystem::path destination("/destination");
  const auto below = (destination / relative).lexically_normal().lexically_relative(destination);
  return !below.empty() && below != "." && *below.begin() != "..";
}

std::string Mutate(std::string text, std::mt19937& random) {
  const int steps = std::uniform_int_distribution<int>(1, 4)(random);
  for (int s = 0; s < steps; ++s) {
    auto position = [&] {
      return std::uniform_int_distribution<std::size_t>(0, text.size())(random);
    };
    switch (std::uniform_int_distribution<int>(0, 4)(random)) {
      case 0:  // flip a byte
        if (!text.empty()) {
          text[position() % text.size()] = static_cast<char>(random() & 0xFF);
        }
        break;
      case 1: {  // delete a span
        const auto at = position();
        text.erase(at, std::uniform_int_distribution<std::size_t>(1, 16)(random));
        break;
      }
      case 2: {  // duplicate a span
        const auto at = position();
        const auto piece = text.substr(at, std::uniform_int_distribution<std::size_t>(1, 64)(random));
        text.insert(position(), piece);
        break;
      }
      case 3:  // insert a meaningful fragment
        text.insert(position(), kFragments[random() % kFragments.size()]);
        break;
      default: {  // replace a digit run with a boundary number
        const auto digit = text.find_first_of("0123456789", position());
        if (digit != std::string::npos) text.replace(digit, 1, random() % 2 ? "99999999999" : "0");
        break;
      }
    }
  }
  return text;
}

TEST(PackageManifestMutation, EveryFailureIsAParseException) {
  std::mt19937 random(20261209);
  int accepted = 0;
  int rejected = 0;
  for (int i = 0; i < 3000; ++i) {
    const std::string document = Mutate(kSeeds[i % kSeeds.size()], random);
    try {
      std::istringstream stream(document);
      boost::property_tree::ptree tree;
      ReadXmlDocument(stream, tree);
      StandardPackageManifest package;
      package.Read(tree);
      ++accepted;
      // Whatever was accepted keeps the guarantees of a package record.
      EXPECT_FALSE(package.GetId().empty());
      for (const auto& file : package.GetFiles()) {
        EXPECT_TRUE(StaysBelowDestination(file->GetPath())) << document;
        EXPECT_EQ(file->GetChecksums().size(), file->GetChunkCount()) << document;
      }
    } catch (const ManifestParseException&) {
      ++rejected;
    } catch (const std::exception& e) {
      ADD_FAILURE() << "unexpected " << typeid(e).name() << " for: " << document;
    }
  }
  // Both outcomes occur, so the corpus exercises the reader beyond the XML parser.
  EXPECT_GT(accepted, 50);
  EXPECT_GT(rejected, 50);
}

}  // namespace
}  // namespace ombrix
