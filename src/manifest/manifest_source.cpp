#include "manifest/manifest_source.h"

#include <sstream>

#include <boost/property_tree/ptree.hpp>

#include "manifest/input_manifest.h"

namespace ombrix {

void ManifestSource::Read(const std::string& locator, InputManifest& manifest) {
  std::stringstream stream;
  Fetch(locator, stream);
  boost::property_tree::ptree tree;
  Parse(stream, tree);
  manifest.Read(tree);
}

}  // namespace ombrix
