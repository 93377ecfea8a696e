// Trust in package manifests: a signature by the configured key vouches for the
// manifest's bytes and for every chunk, and a publication never goes backwards.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/ed25519.h"
#include "manifest/manifest_signature.h"

namespace ombrix {

class StandardPackageManifest;

// The newest publication serial seen per package.
class PublicationSerials {
 public:
  virtual ~PublicationSerials() = default;
  // Throws ManifestSignatureException when a serial above `serial` was seen for
  // `package`; otherwise remembers `serial` when it is the highest yet.
  virtual void Admit(const std::string& package, std::uint64_t serial) = 0;
};

// The environment variable that names a public key file, in place of the key the
// build carries.
inline constexpr const char* kTrustKeyFileVariable = "OMBRIX_TRUST_KEY_FILE";

// Immutable once built; safe to use from several threads at once.
class ManifestTrust {
 public:
  // The trust of a process: the key in the file `keyFile` names when given, else
  // `deploymentKey` (Ed25519PublicKey::FromText). Null when neither is given:
  // manifests are then taken as they come. A key that cannot be read or parsed
  // gives a trust that refuses every manifest, saying why.
  static std::shared_ptr<const ManifestTrust> Configure(const std::optional<std::string>& keyFile,
                                                        const std::string& deploymentKey,
                                                        std::shared_ptr<PublicationSerials> serials);

  ManifestTrust(std::optional<Ed25519PublicKey> key, std::string keyProblem,
                std::shared_ptr<PublicationSerials> serials);

  // Before the manifest is parsed: the signature verifies with the key and covers
  // exactly `manifestBytes`. Throws ManifestSignatureException.
  Publication Open(std::string_view manifestBytes, std::string_view signatureDocument) const;

  // After it is parsed: the publication names the manifest's package and version
  // (and the version `locator` asked for, if any), lists every file of the
  // manifest by its path with one hash per chunk and nothing else, and, for the
  // current version ("package" locator), is not older than one seen before. Then
  // every file of `package` gets its chunk hashes. Throws
  // ManifestSignatureException, leaving `package` unchanged.
  void Accept(const Publication& publication, const std::string& locator, StandardPackageManifest& package) const;

 private:
  const std::optional<Ed25519PublicKey> key;
  const std::string keyProblem;
  const std::shared_ptr<PublicationSerials> serials;
};

}  // namespace ombrix
