// Signed package manifests: what a trust key accepts and refuses, through the
// package factory, with the publisher's own signing code and real serial files.
#include <gtest/gtest.h>

#include <boost/property_tree/ptree.hpp>

#include "common/ed25519.h"
#include "file/posix/filesystem_impl.h"
#include "http/curl_request_factory.h"
#include "http/posix/proxy_factory_impl.h"
#include "manifest/manifest_document.h"
#include "manifest/manifest_exceptions.h"
#include "manifest/manifest_signature.h"
#include "manifest/manifest_source.h"
#include "manifest/manifest_trust.h"
#include "manifest/package_manifest_factory.h"
#include "support/temp_dir.h"
#include "transfer/temp_file_publication_serials.h"

namespace ombrix {
namespace {

// A manifest and, when `signature` is set, its signature document, from memory.
class SignedTextSource : public ManifestSource {
 public:
  SignedTextSource(std::string text, std::optional<std::string> signature)
      : text(std::move(text)), signature(std::move(signature)) {}
  void Fetch(const std::string&, std::ostream& stream) override { stream << text; }
  void FetchSignature(const std::string& locator, std::ostream& stream) override {
    if (!signature) return ManifestSource::FetchSignature(locator, stream);
    stream << *signature;
  }
  void Parse(std::istream& stream, boost::property_tree::ptree& tree) override { ReadXmlDocument(stream, tree); }

 private:
  std::string text;
  std::optional<std::string> signature;
};

// Version 42 of "abc": "a.bin" in two chunks of 4 and "b.bin" in one.
const std::string kManifest =
    "<package><id>abc</id><name>n</name><partnerId>p</partnerId><versionId>42</versionId><files>"
    "<file><path>a.bin</path><chunksize>4</chunksize><size>6</size><checksums>0000000000000000</checksums></file>"
    "<file><path>b.bin</path><chunksize>4</chunksize><size>3</size><checksums>00000000</checksums></file>"
    "</files></package>";

Sha256Digest Digest(char c) { return Sha256Of(std::string(1, c)); }

Publication Vouching(const std::string& manifest, std::uint64_t serial) {
  return Publication{"abc", "42", serial, Sha256Of(manifest),
                     {{"a.bin", {Digest('1'), Digest('2')}}, {"b.bin", {Digest('3')}}}};
}

class ManifestTrustTest : public ::testing::Test {
 protected:
  ManifestTrustTest() : filesystem(Environment({{"TMPDIR", user.str()}})) {}

  std::shared_ptr<const ManifestTrust> Trust(const std::string& keyText = "") {
    return ManifestTrust::Configure(std::nullopt, keyText.empty() ? key.PublicKey().Base64() : keyText,
                                    std::make_shared<TempFilePublicationSerials>(filesystem, "O/publications"));
  }

  // Loads `manifest` at `locator` with `signature` (none: no signature document).
  std::shared_ptr<PackageManifest> Load(const std::string& manifest, std::optional<std::string> signature,
                                        const std::string& locator = "abc",
                                        std::shared_ptr<const ManifestTrust> trust = nullptr) {
    factory.SetTrust(trust ? trust : Trust());
    SignedTextSource source(manifest, std::move(signature));
    return factory.Load(source, locator);
  }

  // The reason a load is refused, or "" when it is not.
  std::string Refusal(const std::string& manifest, std::optional<std::string> signature,
                      const std::string& locator = "abc", std::shared_ptr<const ManifestTrust> trust = nullptr) {
    try {
      Load(manifest, std::move(signature), locator, std::move(trust));
      return "";
    } catch (const ManifestSignatureException& e) {
      return e.what();
    }
  }

  test::TempDir user;
  file::posix::FilesystemImpl filesystem;
  http::posix::ProxyFactoryImpl proxies{Environment{}};
  http::CurlRequestFactory requests{proxies};
  XmlHttpPackageManifestFactory factory{"h", requests, 10, 30};
  Ed25519PrivateKey key = Ed25519PrivateKey::Generate();
  Ed25519PrivateKey otherKey = Ed25519PrivateKey::Generate();
};

TEST_F(ManifestTrustTest, AVouchedManifestCarriesEveryChunkHash) {
  const auto package = Load(kManifest, WriteSignatureDocument(Vouching(kManifest, 1), key));
  ASSERT_EQ(package->GetFiles().size(), 2u);
  EXPECT_EQ(package->GetFiles()[0]->GetChunkSha256(), (std::vector<Sha256Digest>{Digest('1'), Digest('2')}));
  EXPECT_EQ(package->GetFiles()[1]->ChunkSha256(0), Digest('3'));
  EXPECT_EQ(package->GetFiles()[1]->ChunkSha256(1), std::nullopt);

  // The key as a PEM document is the same key.
  EXPECT_NE(Load(kManifest, WriteSignatureDocument(Vouching(kManifest, 1), key), "abc", Trust(key.PublicKey().Pem())),
            nullptr);
  // Without a trust the same factory takes an unsigned manifest as before.
  factory.SetTrust(nullptr);
  SignedTextSource unsigned_(kManifest, std::nullopt);
  EXPECT_TRUE(factory.Load(unsigned_, "abc")->GetFiles()[0]->GetChunkSha256().empty());
}

TEST_F(ManifestTrustTest, EveryFlawIsRefusedWithItsReason) {
  const auto sign = [this](Publication p) { return WriteSignatureDocument(p, key); };
  Publication otherPackage = Vouching(kManifest, 1);
  otherPackage.package = "abd";
  Publication otherVersion = Vouching(kManifest, 1);
  otherVersion.version = "41";
  Publication missingFile = Vouching(kManifest, 1);
  missingFile.files.pop_back();
  Publication extraFile = Vouching(kManifest, 1);
  extraFile.files.push_back({"c.bin", {}});
  Publication shortFile = Vouching(kManifest, 1);
  shortFile.files[0].chunks.pop_back();
  std::string changed = kManifest;
  changed[changed.find("<name>n") + 6] = 'm';
  const std::string good = sign(Vouching(kManifest, 1));
  std::string badBase64 = good;
  badBase64[3] = '*';
  const std::string unreadable = (user.path() / "absent.pub").string();

  struct Case {
    const char* what;
    std::string manifest;
    std::optional<std::string> signature;
    std::string locator;
    std::shared_ptr<const ManifestTrust> trust;
    const char* reason;
  } cases[] = {
      {"one byte changed", changed, good, "abc", nullptr, "do not match the SHA-256"},
      {"another key", kManifest, WriteSignatureDocument(Vouching(kManifest, 1), otherKey), "abc", nullptr,
       "does not verify"},
      {"signed text changed", kManifest, good.substr(0, good.size() - 3) + "}]}", "abc", nullptr, "does not verify"},
      {"no signature document", kManifest, std::nullopt, "abc", nullptr, "no signature document"},
      {"no signature line", kManifest, "{}", "abc", nullptr, "malformed"},
      {"bad base64", kManifest, badBase64, "abc", nullptr, "malformed"},
      {"another package", kManifest, sign(otherPackage), "abc", nullptr, "for package \"abd\""},
      {"another version", kManifest, sign(otherVersion), "abc", nullptr, "for version \"41\""},
      {"another version asked for", kManifest, good, "abc/41", nullptr, "version \"41\" was asked for"},
      {"a file not covered", kManifest, sign(missingFile), "abc", nullptr, "does not cover \"b.bin\""},
      {"a file not in the manifest", kManifest, sign(extraFile), "abc", nullptr, "\"c.bin\", the manifest does not"},
      {"a chunk hash missing", kManifest, sign(shortFile), "abc", nullptr, "1 chunk hashes for \"a.bin\""},
      {"an unreadable key file", kManifest, good, "abc",
       ManifestTrust::Configure(unreadable, "", nullptr), "cannot be read"},
      {"a key that is no key", kManifest, good, "abc", ManifestTrust::Configure(std::nullopt, "AAAA", nullptr),
       "no usable trust key"},
  };
  for (const Case& c : cases) {
    EXPECT_NE(Refusal(c.manifest, c.signature, c.locator, c.trust).find(c.reason), std::string::npos)
        << c.what << ": " << Refusal(c.manifest, c.signature, c.locator, c.trust);
  }
}

// The current version never goes back, across restarts; an explicitly asked
// version may be older, and the same publication may be fetched again.
TEST_F(ManifestTrustTest, AnOlderCurrentPublicationIsRefused) {
  const auto signedAt = [this](std::uint64_t serial) { return WriteSignatureDocument(Vouching(kManifest, serial), key); };
  EXPECT_EQ(Refusal(kManifest, signedAt(20)), "");
  EXPECT_NE(Refusal(kManifest, signedAt(10)).find("older than publication 20"), std::string::npos);
  EXPECT_EQ(Refusal(kManifest, signedAt(10), "abc/42"), "");
  EXPECT_EQ(Refusal(kManifest, signedAt(20)), "");
  EXPECT_EQ(Refusal(kManifest, signedAt(30)), "");
  EXPECT_NE(Refusal(kManifest, signedAt(20), "abc", Trust()).find("older than publication 30"), std::string::npos);
  // A refused signature does not move the serial.
  Publication otherVersion = Vouching(kManifest, 99);
  otherVersion.version = "41";
  EXPECT_NE(Refusal(kManifest, WriteSignatureDocument(otherVersion, key)), "");
  EXPECT_EQ(Refusal(kManifest, signedAt(30)), "");
}

TEST(Base64Test, OnlyCanonicalTextDecodes) {
  struct Case {
    const char* text;
    std::optional<std::string> bytes;
  } cases[] = {
      {"", ""},          {"QQ==", "A"},          {"QUI=", "AB"},       {"QUJD", "ABC"},
      {"QR==", {}},      {"QUJ=", {}},           {"QQ=", {}},          {"Q===", {}},
      {"QU=D", {}},      {"QQ==QUJD", {}},       {" QUJD", {}},        {"QUJD\n", {}},
      {"QU-D", {}},
  };
  for (const Case& c : cases) {
    const auto decoded = Base64Decode(c.text);
    EXPECT_EQ(decoded ? std::optional<std::string>(std::string(decoded->begin(), decoded->end())) : std::nullopt,
              c.bytes)
        << c.text;
    if (c.bytes) {
      EXPECT_EQ(Base64Encode(reinterpret_cast<const std::uint8_t*>(c.bytes->data()), c.bytes->size()), c.text);
    }
  }
}

}  // namespace
}  // namespace ombrix
