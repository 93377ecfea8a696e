#include "manifest/manifest_signature.h"

#include <boost/property_tree/ptree.hpp>
#include <cstring>
#include <limits>
#include <sstream>

#include "common/json_writer.h"
#include "manifest/manifest_exceptions.h"

namespace ombrix {

namespace {

constexpr std::size_t kDigestHex = 2 * std::tuple_size_v<Sha256Digest>;

[[noreturn]] void Malformed(const std::string& what) {
  throw ManifestSignatureException("the signature document is malformed (" + what + ")");
}

std::vector<Sha256Digest> ChunkDigests(const std::string& path, std::string_view hex) {
  if (hex.size() % kDigestHex != 0) Malformed("the chunk hashes of \"" + path + "\" are not 64 digits each");
  std::vector<Sha256Digest> chunks;
  chunks.reserve(hex.size() / kDigestHex);
  for (std::size_t at = 0; at < hex.size(); at += kDigestHex) {
    const auto digest = ParseSha256Hex(hex.substr(at, kDigestHex));
    if (!digest) Malformed("a chunk hash of \"" + path + "\" is not hexadecimal");
    chunks.push_back(*digest);
  }
  return chunks;
}

}  // namespace

std::string WriteSignatureDocument(const Publication& publication, const Ed25519PrivateKey& key) {
  boost::property_tree::ptree tree;
  tree.put("package", publication.package);
  tree.put("version", publication.version);
  tree.put("serial", std::to_string(publication.serial));
  tree.put("manifestSha256", HexText(publication.manifestSha256));
  boost::property_tree::ptree files;
  for (const SignedFile& file : publication.files) {
    std::string hex;
    hex.reserve(file.chunks.size() * kDigestHex);
    for (const Sha256Digest& chunk : file.chunks) hex += HexText(chunk);
    boost::property_tree::ptree entry;
    entry.put("path", file.path);
    entry.put("chunkSha256", hex);
    files.push_back({"", entry});
  }
  if (publication.files.empty()) {
    tree.put("files", kJsonEmptyArray);
  } else {
    tree.add_child("files", files);
  }
  const std::string payload = ToJson(tree);
  const Ed25519Signature signature = key.Sign(payload);
  return Base64Encode(signature.data(), signature.size()) + "\n" + payload;
}

Publication ReadSignatureDocument(std::string_view document, const Ed25519PublicKey& key) {
  const std::size_t newline = document.find('\n');
  if (newline == std::string_view::npos) Malformed("no signature line");
  const auto signature = Base64Decode(document.substr(0, newline));
  if (!signature || signature->size() != std::tuple_size_v<Ed25519Signature>) {
    Malformed("the first line is not the base64 of a 64-byte signature");
  }
  Ed25519Signature bytes{};
  std::memcpy(bytes.data(), signature->data(), bytes.size());
  const std::string_view payload = document.substr(newline + 1);
  if (!key.Verify(payload, bytes)) {
    throw ManifestSignatureException("the signature does not verify with the trusted key");
  }

  Publication publication;
  try {
    std::stringstream stream{std::string(payload)};
    boost::property_tree::ptree tree;
    ReadJsonDocument(stream, tree, kSignatureLimits.maxNodes);
    publication.package = RequiredText(tree, "package");
    publication.version = RequiredText(tree, "version");
    const auto serial = ParseUnsigned(RequiredText(tree, "serial"), std::numeric_limits<std::uint64_t>::max());
    if (!serial) Malformed("the serial is not a number");
    publication.serial = *serial;
    const auto manifest = ParseSha256Hex(RequiredText(tree, "manifestSha256"));
    if (!manifest) Malformed("the manifest hash is not 64 hexadecimal digits");
    publication.manifestSha256 = *manifest;
    for (const auto& [name, entry] : RequiredChild(tree, "files")) {
      if (!name.empty()) Malformed("\"files\" is not an array");
      const std::string& path = RequiredText(entry, "path");
      publication.files.push_back({path, ChunkDigests(path, RequiredText(entry, "chunkSha256"))});
    }
  } catch (const ManifestParseException&) {
    Malformed("the payload is not the expected JSON object");
  }
  return publication;
}

}  // namespace ombrix
