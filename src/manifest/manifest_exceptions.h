// The failure kinds of the manifest layer. Only a refused signature carries a
// message (why it was refused); for every other kind the kind is the whole
// information. Callers catch the abstract kinds (locator, stream, parse,
// aborted); the locator and stream kinds are virtual bases so that the HTTP
// variants (http_manifest_exceptions.h) are caught by them too.
#pragma once

#include <stdexcept>
#include <string>

namespace ombrix {

class ManifestException : public std::runtime_error {
 public:
  ManifestException() : std::runtime_error("") {}
  // Copy only: a virtual base must not be moved from twice by derived assignments.
  ManifestException(const ManifestException&) = default;
  ManifestException& operator=(const ManifestException&) = default;

 protected:
  explicit ManifestException(const std::string& message) : std::runtime_error(message) {}
};

// A document cannot be parsed, or a record's Read fails.
class ManifestParseException : public ManifestException {};

// A manifest's location cannot be built, or the document fetched is not the one
// asked for.
class ManifestLocatorException : public virtual ManifestException {};

// The document could not be transferred.
class ManifestStreamException : public virtual ManifestException {};

// A file's chunk count does not fit.
class ManifestOverflowException : public ManifestException {};

// A trust key is configured and the manifest's signature document does not vouch
// for the manifest: missing, malformed, signed by another key, for another
// package or version, for other bytes, or older than a publication already seen.
class ManifestSignatureException : public ManifestException {
 public:
  explicit ManifestSignatureException(const std::string& why)
      : ManifestException("signature refused: " + why) {}
};

// The fetch was cancelled.
class ManifestAbortedException : public ManifestException {};

}  // namespace ombrix
