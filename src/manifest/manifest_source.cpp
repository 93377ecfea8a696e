#include "manifest/manifest_source.h"

#include <sstream>

#include <boost/property_tree/ptree.hpp>

#include "manifest/input_manifest.h"
#include "manifest/manifest_exceptions.h"

namespace ombrix {

void ManifestSource::FetchSignature(const std::string&, std::ostream&) { throw ManifestLocatorException(); }

void ManifestSource::Read(const std::string& locator, InputManifest& manifest) {
  // Fetch writes into the string of this stream and the document readers take that
  // string over (manifest_document.h), so the body is never copied.
  std::stringstream stream;
  Fetch(locator, stream);
  boost::property_tree::ptree tree;
  Parse(stream, tree);
  manifest.Read(tree);
}

}  // namespace ombrix
