// Composition of manifest URLs.
#pragma once

#include <string>

namespace ombrix {

// The text of the URL with scheme "http", `authority` (host and optional port) and
// `pathEtc` read as path, query and fragment, rendered by POCO's URI class (which
// percent-encodes what a URL may not hold). Throws ManifestLocatorException when
// the parts do not form a URL.
std::string ComposeManifestUrl(const std::string& authority, const std::string& pathEtc);

}  // namespace ombrix
