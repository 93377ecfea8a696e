// SHA-256, the strong hash of published manifests and chunks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

typedef struct evp_md_ctx_st EVP_MD_CTX;

namespace ombrix {

using Sha256Digest = std::array<std::uint8_t, 32>;

// An incremental SHA-256 (OpenSSL, which uses the CPU's SHA instructions where
// there are any). Update any number of times, then Finish once. Not copyable;
// one hasher per thread.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Update(const void* data, std::size_t size);
  Sha256Digest Finish();

 private:
  EVP_MD_CTX* context;
};

Sha256Digest Sha256Of(std::string_view bytes);

// 64 lowercase hexadecimal digits.
std::string HexText(const Sha256Digest& digest);
// The digest of exactly 64 hexadecimal digits (either case), or nothing.
std::optional<Sha256Digest> ParseSha256Hex(std::string_view text);

}  // namespace ombrix
