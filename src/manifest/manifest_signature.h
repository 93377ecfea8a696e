// Signature documents: what a publisher vouches for about one package manifest.
//
// A signature document is served at the manifest's own path plus ".sig". Its first
// line is the base64 Ed25519 signature of everything after that line's "\n",
// byte for byte; the rest is a JSON object:
//   {"package":"<id>","version":"<id>","serial":"<decimal>",
//    "manifestSha256":"<64 hex>",
//    "files":[{"path":"<path as the manifest writes it>","chunkSha256":"<64 hex per chunk>"},...]}
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/ed25519.h"
#include "common/sha256.h"
#include "manifest/manifest_document.h"

namespace ombrix {

// A signature document is at most as large as the manifest it covers may be.
inline constexpr DocumentLimits kSignatureLimits{64ull << 20, kMaxDocumentNodes};

struct SignedFile {
  std::string path;
  std::vector<Sha256Digest> chunks;
};

struct Publication {
  std::string package;
  std::string version;
  std::uint64_t serial = 0;  // grows with every publication of the package
  Sha256Digest manifestSha256{};
  std::vector<SignedFile> files;
};

std::string WriteSignatureDocument(const Publication& publication, const Ed25519PrivateKey& key);

// The publication of a document that `key` signed. Throws
// ManifestSignatureException when the document is malformed (no first line, bad
// base64, bad JSON, a missing or malformed field) or the signature does not verify.
Publication ReadSignatureDocument(std::string_view document, const Ed25519PublicKey& key);

}  // namespace ombrix
