// Feeds arbitrary bytes to the package manifest reader. A document is either read
// or rejected with ManifestParseException; anything else (another exception, a
// crash, a sanitizer report) is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include <boost/property_tree/ptree.hpp>

#include "manifest/manifest_document.h"
#include "manifest/manifest_exceptions.h"
#include "manifest/package_manifest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream stream(std::string(reinterpret_cast<const char*>(data), size));
  try {
    boost::property_tree::ptree tree;
    ombrix::ReadXmlDocument(stream, tree);
    ombrix::StandardPackageManifest package;
    package.Read(tree);
    for (const auto& file : package.GetFiles()) {
      if (!ombrix::IsContainedRelativePath(file->GetPath()) ||
          file->GetChecksums().size() != file->GetChunkCount()) {
        std::abort();
      }
    }
  } catch (const ombrix::ManifestParseException&) {
  }
  return 0;
}
