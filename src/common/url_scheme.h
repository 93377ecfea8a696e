// The scheme of the URLs the service builds for manifests and chunks.
#pragma once

namespace ombrix {

// "https" when the build says so (OMBRIX_USE_HTTPS) or OMBRIX_HTTPS=1 is in the
// environment when first asked; "http" otherwise. Certificates and host names are
// always verified, against the system's CA store and the bundle OMBRIX_CA_BUNDLE
// names, if any.
const char* UrlScheme();

// The CA bundle OMBRIX_CA_BUNDLE named when first asked, or nullptr.
const char* ExtraCaBundle();

}  // namespace ombrix
