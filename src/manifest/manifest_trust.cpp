#include "manifest/manifest_trust.h"

#include <fstream>
#include <map>
#include <set>

#include "manifest/manifest_exceptions.h"
#include "manifest/package_manifest.h"

namespace ombrix {

namespace {

// A key file is one PEM document or one line of base64: a few hundred bytes.
constexpr std::streamsize kMaxKeyFileBytes = 16 * 1024;

std::string ReadKeyFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw KeyFormatException("the key file " + path + " cannot be read");
  std::string text(kMaxKeyFileBytes + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (in.bad() || in.gcount() > kMaxKeyFileBytes) throw KeyFormatException("the key file " + path + " is not a key");
  text.resize(static_cast<std::size_t>(in.gcount()));
  return text;
}

}  // namespace

std::shared_ptr<const ManifestTrust> ManifestTrust::Configure(const std::optional<std::string>& keyFile,
                                                             const std::string& deploymentKey,
                                                             std::shared_ptr<PublicationSerials> serials) {
  if ((!keyFile || keyFile->empty()) && deploymentKey.empty()) return nullptr;
  try {
    const std::string text = keyFile && !keyFile->empty() ? ReadKeyFile(*keyFile) : deploymentKey;
    return std::make_shared<ManifestTrust>(Ed25519PublicKey::FromText(text), "", std::move(serials));
  } catch (const KeyFormatException& e) {
    return std::make_shared<ManifestTrust>(std::nullopt, std::string("no usable trust key: ") + e.what(),
                                           std::move(serials));
  }
}

ManifestTrust::ManifestTrust(std::optional<Ed25519PublicKey> key, std::string keyProblem,
                             std::shared_ptr<PublicationSerials> serials)
    : key(std::move(key)), keyProblem(std::move(keyProblem)), serials(std::move(serials)) {}

Publication ManifestTrust::Open(std::string_view manifestBytes, std::string_view signatureDocument) const {
  if (!key) throw ManifestSignatureException(keyProblem);
  Publication publication = ReadSignatureDocument(signatureDocument, *key);
  if (publication.manifestSha256 != Sha256Of(manifestBytes)) {
    throw ManifestSignatureException("the manifest's bytes do not match the SHA-256 its signature vouches for");
  }
  return publication;
}

void ManifestTrust::Accept(const Publication& publication, const std::string& locator,
                           StandardPackageManifest& package) const {
  if (publication.package != package.GetId()) {
    throw ManifestSignatureException("the signature is for package \"" + publication.package + "\", not \"" +
                                     package.GetId() + "\"");
  }
  if (publication.version != package.GetVersionId()) {
    throw ManifestSignatureException("the signature is for version \"" + publication.version +
                                     "\", the manifest is version \"" + package.GetVersionId() + "\"");
  }
  const std::size_t slash = locator.find('/');
  if (slash != std::string::npos && locator.substr(slash + 1) != publication.version) {
    throw ManifestSignatureException("version \"" + locator.substr(slash + 1) + "\" was asked for, version \"" +
                                     publication.version + "\" was served");
  }

  std::map<std::string, const SignedFile*> byPath;
  for (const SignedFile& file : publication.files) {
    if (!byPath.emplace(file.path, &file).second) {
      throw ManifestSignatureException("the signature lists \"" + file.path + "\" twice");
    }
  }
  std::set<std::string> listed;
  for (const auto& file : package.GetFiles()) {
    const auto found = byPath.find(file->GetPath());
    if (found == byPath.end()) {
      throw ManifestSignatureException("the signature does not cover \"" + file->GetPath() + "\"");
    }
    if (found->second->chunks.size() != file->GetChunkCount()) {
      throw ManifestSignatureException("the signature has " + std::to_string(found->second->chunks.size()) +
                                       " chunk hashes for \"" + file->GetPath() + "\", which has " +
                                       std::to_string(file->GetChunkCount()) + " chunks");
    }
    listed.insert(file->GetPath());
  }
  for (const auto& [path, file] : byPath) {
    if (!listed.count(path)) throw ManifestSignatureException("the signature lists \"" + path + "\", the manifest does not");
  }
  if (slash == std::string::npos && serials) serials->Admit(package.GetId(), publication.serial);
  package.SetChunkSha256([&byPath](const FileManifest& file) { return byPath.at(file.GetPath())->chunks; });
}

}  // namespace ombrix
