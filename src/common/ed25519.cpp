#include "common/ed25519.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <cstring>
#include <new>

namespace ombrix {

namespace {

std::shared_ptr<EVP_PKEY> Own(EVP_PKEY* key) { return std::shared_ptr<EVP_PKEY>(key, EVP_PKEY_free); }

// A refusal leaves nothing on the thread's OpenSSL error queue, where libcurl
// would later take it for the cause of one of its own failures.
[[noreturn]] void Refuse(const char* why) {
  ERR_clear_error();
  throw KeyFormatException(why);
}

std::unique_ptr<BIO, decltype(&BIO_free)> MemoryReader(std::string_view text) {
  std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())), BIO_free);
  if (!bio) throw std::bad_alloc();
  return bio;
}

template <class WriteFunction>
std::string PemText(WriteFunction write) {
  std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), BIO_free);
  if (!bio || write(bio.get()) != 1) throw std::runtime_error("the key could not be written as PEM");
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<std::size_t>(size));
}

std::string_view Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> NewDigestContext() {
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  if (!context) throw std::bad_alloc();
  return context;
}

constexpr char kBase64Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

}  // namespace

Ed25519PublicKey Ed25519PublicKey::FromText(std::string_view text) {
  text = Trimmed(text);
  EVP_PKEY* key = nullptr;
  if (text.rfind("-----BEGIN", 0) == 0) {
    auto bio = MemoryReader(text);
    key = PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr);
    if (key == nullptr) Refuse("the PEM text holds no public key");
    if (EVP_PKEY_get_id(key) != EVP_PKEY_ED25519) {
      EVP_PKEY_free(key);
      Refuse("the public key is not an Ed25519 key");
    }
  } else {
    const auto raw = Base64Decode(text);
    if (!raw || raw->size() != 32) Refuse("the key is neither PEM nor the base64 of 32 bytes");
    key = EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, raw->data(), raw->size());
    if (key == nullptr) Refuse("the 32 bytes are not an Ed25519 public key");
  }
  return Ed25519PublicKey(Own(key));
}

bool Ed25519PublicKey::Verify(std::string_view message, const Ed25519Signature& signature) const {
  auto context = NewDigestContext();
  const bool verified =
      EVP_DigestVerifyInit_ex(context.get(), nullptr, nullptr, nullptr, nullptr, key.get(), nullptr) == 1 &&
      EVP_DigestVerify(context.get(), signature.data(), signature.size(),
                       reinterpret_cast<const unsigned char*>(message.data()), message.size()) == 1;
  if (!verified) ERR_clear_error();
  return verified;
}

std::string Ed25519PublicKey::Base64() const {
  std::array<std::uint8_t, 32> raw{};
  std::size_t size = raw.size();
  if (EVP_PKEY_get_raw_public_key(key.get(), raw.data(), &size) != 1 || size != raw.size()) {
    throw std::runtime_error("the public key could not be read");
  }
  return Base64Encode(raw.data(), raw.size());
}

std::string Ed25519PublicKey::Pem() const {
  return PemText([this](BIO* bio) { return PEM_write_bio_PUBKEY(bio, key.get()); });
}

Ed25519PrivateKey Ed25519PrivateKey::Generate() {
  EVP_PKEY* key = EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519");
  if (key == nullptr) throw std::runtime_error("no Ed25519 key could be generated");
  return Ed25519PrivateKey(Own(key));
}

Ed25519PrivateKey Ed25519PrivateKey::FromPem(std::string_view pem) {
  auto bio = MemoryReader(Trimmed(pem));
  EVP_PKEY* key = PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr);
  if (key == nullptr) Refuse("the PEM text holds no private key");
  if (EVP_PKEY_get_id(key) != EVP_PKEY_ED25519) {
    EVP_PKEY_free(key);
    Refuse("the private key is not an Ed25519 key");
  }
  return Ed25519PrivateKey(Own(key));
}

std::string Ed25519PrivateKey::Pem() const {
  return PemText([this](BIO* bio) {
    return PEM_write_bio_PrivateKey(bio, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
  });
}

Ed25519PublicKey Ed25519PrivateKey::PublicKey() const {
  std::array<std::uint8_t, 32> raw{};
  std::size_t size = raw.size();
  if (EVP_PKEY_get_raw_public_key(key.get(), raw.data(), &size) != 1) {
    throw std::runtime_error("the public half of the key could not be read");
  }
  EVP_PKEY* pub = EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, raw.data(), size);
  if (pub == nullptr) throw std::runtime_error("the public half of the key could not be built");
  return Ed25519PublicKey(Own(pub));
}

Ed25519Signature Ed25519PrivateKey::Sign(std::string_view message) const {
  auto context = NewDigestContext();
  Ed25519Signature signature{};
  std::size_t size = signature.size();
  if (EVP_DigestSignInit_ex(context.get(), nullptr, nullptr, nullptr, nullptr, key.get(), nullptr) != 1 ||
      EVP_DigestSign(context.get(), signature.data(), &size, reinterpret_cast<const unsigned char*>(message.data()),
                     message.size()) != 1 ||
      size != signature.size()) {
    throw std::runtime_error("the message could not be signed");
  }
  return signature;
}

std::string Base64Encode(const std::uint8_t* data, std::size_t size) {
  std::string text;
  text.reserve((size + 2) / 3 * 4);
  for (std::size_t i = 0; i < size; i += 3) {
    const std::uint32_t group = std::uint32_t{data[i]} << 16 | (i + 1 < size ? std::uint32_t{data[i + 1]} << 8 : 0) |
                                (i + 2 < size ? data[i + 2] : 0);
    text += kBase64Digits[group >> 18 & 63];
    text += kBase64Digits[group >> 12 & 63];
    text += i + 1 < size ? kBase64Digits[group >> 6 & 63] : '=';
    text += i + 2 < size ? kBase64Digits[group & 63] : '=';
  }
  return text;
}

std::optional<std::vector<std::uint8_t>> Base64Decode(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    // Padding only closes the last group: "xx==" or "xxx=".
    int padding = 0;
    if (i + 4 == text.size() && text[i + 3] == '=') padding = text[i + 2] == '=' ? 2 : 1;
    std::uint32_t group = 0;
    for (std::size_t k = 0; k < 4 - static_cast<std::size_t>(padding); ++k) {
      const char* digit = text[i + k] == '\0' ? nullptr : std::strchr(kBase64Digits, text[i + k]);
      if (digit == nullptr) return std::nullopt;
      group = group << 6 | static_cast<std::uint32_t>(digit - kBase64Digits);
    }
    group <<= 6 * padding;
    // Bits under the padding must be zero, or two texts would give one value.
    if ((padding == 1 && (group & 0xFF) != 0) || (padding == 2 && (group & 0xFFFF) != 0)) return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(group >> 16));
    if (padding < 2) bytes.push_back(static_cast<std::uint8_t>(group >> 8));
    if (padding < 1) bytes.push_back(static_cast<std::uint8_t>(group));
  }
  return bytes;
}

}  // namespace ombrix
