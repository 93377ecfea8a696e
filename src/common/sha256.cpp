#include "common/sha256.h"

#include <openssl/evp.h>

#include <new>
#include <stdexcept>

#include "common/hex.h"

namespace ombrix {

namespace {

// Fetched once: an implicit fetch on every hasher would cost a lookup per chunk.
const EVP_MD* Algorithm() {
  static EVP_MD* const algorithm = EVP_MD_fetch(nullptr, "SHA256", nullptr);
  if (algorithm == nullptr) throw std::runtime_error("OpenSSL has no SHA-256");
  return algorithm;
}

}  // namespace

Sha256::Sha256() : context(EVP_MD_CTX_new()) {
  if (context == nullptr) throw std::bad_alloc();
  if (EVP_DigestInit_ex(context, Algorithm(), nullptr) != 1) {
    EVP_MD_CTX_free(context);
    throw std::runtime_error("SHA-256 could not be started");
  }
}

Sha256::~Sha256() { EVP_MD_CTX_free(context); }

void Sha256::Update(const void* data, std::size_t size) {
  if (size > 0 && EVP_DigestUpdate(context, data, size) != 1) throw std::runtime_error("SHA-256 update failed");
}

Sha256Digest Sha256::Finish() {
  Sha256Digest digest{};
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context, digest.data(), &length) != 1 || length != digest.size()) {
    throw std::runtime_error("SHA-256 could not be finished");
  }
  return digest;
}

Sha256Digest Sha256Of(std::string_view bytes) {
  Sha256 hasher;
  hasher.Update(bytes.data(), bytes.size());
  return hasher.Finish();
}

std::string HexText(const Sha256Digest& digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(digest.size() * 2);
  for (const std::uint8_t byte : digest) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 15];
  }
  return text;
}

std::optional<Sha256Digest> ParseSha256Hex(std::string_view text) {
  Sha256Digest digest{};
  if (text.size() != digest.size() * 2) return std::nullopt;
  for (std::size_t i = 0; i < digest.size(); ++i) {
    const int high = HexDigitValue(text[2 * i]), low = HexDigitValue(text[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    digest[i] = static_cast<std::uint8_t>(high << 4 | low);
  }
  return digest;
}

}  // namespace ombrix
