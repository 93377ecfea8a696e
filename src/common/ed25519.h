// Ed25519 keys and signatures (OpenSSL), and the base64 text they travel in.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

typedef struct evp_pkey_st EVP_PKEY;

namespace ombrix {

using Ed25519Signature = std::array<std::uint8_t, 64>;

// A key text that is not a key of the expected kind; the text says why.
class KeyFormatException : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A public key. Immutable; Verify is safe from several threads at once.
class Ed25519PublicKey {
 public:
  // Accepts a PEM "PUBLIC KEY" document or the base64 of the 32 raw key bytes
  // (surrounding white space ignored). Throws KeyFormatException.
  static Ed25519PublicKey FromText(std::string_view text);

  bool Verify(std::string_view message, const Ed25519Signature& signature) const;
  // The base64 of the 32 raw key bytes: the form a build takes as its trust key.
  std::string Base64() const;
  std::string Pem() const;

 private:
  explicit Ed25519PublicKey(std::shared_ptr<EVP_PKEY> key) : key(std::move(key)) {}
  friend class Ed25519PrivateKey;
  std::shared_ptr<EVP_PKEY> key;
};

// A private key, for the publisher.
class Ed25519PrivateKey {
 public:
  static Ed25519PrivateKey Generate();
  // A PEM "PRIVATE KEY" document (PKCS #8). Throws KeyFormatException.
  static Ed25519PrivateKey FromPem(std::string_view pem);

  std::string Pem() const;
  Ed25519PublicKey PublicKey() const;
  Ed25519Signature Sign(std::string_view message) const;

 private:
  explicit Ed25519PrivateKey(std::shared_ptr<EVP_PKEY> key) : key(std::move(key)) {}
  std::shared_ptr<EVP_PKEY> key;
};

// Standard base64 with "=" padding, no line breaks.
std::string Base64Encode(const std::uint8_t* data, std::size_t size);
// The bytes of canonical standard base64 (padding required, nothing else
// accepted, no white space), or nothing.
std::optional<std::vector<std::uint8_t>> Base64Decode(std::string_view text);

}  // namespace ombrix
