// One file of a package: its path, size, chunk size and one CRC-32 per chunk.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/sha256.h"
#include "manifest/input_manifest.h"

namespace ombrix {

// Largest chunk count a file may have.
inline constexpr std::uint64_t kMaxChunkCount = 0x1FFFFFFF;

// Guarantees: chunk i covers bytes [GetChunkFirst(i), GetChunkLast(i)], inclusive;
// every chunk but the last is GetChunkSize() bytes long. An index at or past the
// chunk count yields the empty range (size + 1, size) just past the end of the file.
// Immutable after Read; safe to share between threads.
class FileManifest : public InputManifest {
 public:
  virtual const std::string& GetPath() const = 0;
  virtual std::uint32_t GetChunkSize() const = 0;
  virtual std::uint64_t GetSize() const = 0;
  virtual const std::vector<std::uint32_t>& GetChecksums() const = 0;
  // The SHA-256 of every chunk, in order, when a signature vouches for the file;
  // empty otherwise.
  virtual const std::vector<Sha256Digest>& GetChunkSha256() const;
  // GetChunkSha256()[index] when the file has chunk hashes.
  std::optional<Sha256Digest> ChunkSha256(std::uint64_t index) const;

  // ceil(size / chunkSize); 0 when chunkSize is 0. Throws ManifestOverflowException
  // when the count would exceed kMaxChunkCount or size + chunkSize - 1 overflows.
  std::uint64_t GetChunkCount() const;
  std::uint64_t GetChunkFirst(std::uint64_t index) const;
  std::uint64_t GetChunkLast(std::uint64_t index) const;
};

// The file record of a package document ("file" element: "path", "chunksize",
// "size", "checksums"). Read throws ManifestParseException when a value is missing
// or does not convert, the path is empty or could leave the destination folder,
// chunksize is 0, the chunk count overflows, or the checksum text is not exactly
// 8 hexadecimal characters per chunk.
class StandardFileManifest : public FileManifest {
 public:
  StandardFileManifest() = default;
  StandardFileManifest(std::string path, std::uint32_t chunkSize, std::uint64_t size,
                       std::vector<std::uint32_t> checksums, std::vector<Sha256Digest> chunkSha256 = {});

  void Read(const boost::property_tree::ptree& tree) override;
  const std::string& GetPath() const override { return path; }
  std::uint32_t GetChunkSize() const override { return chunkSize; }
  std::uint64_t GetSize() const override { return size; }
  const std::vector<std::uint32_t>& GetChecksums() const override { return checksums; }
  const std::vector<Sha256Digest>& GetChunkSha256() const override { return chunkSha256; }

 private:
  std::string path;
  std::uint32_t chunkSize = 0;
  std::uint64_t size = 0;
  std::vector<std::uint32_t> checksums;
  std::vector<Sha256Digest> chunkSha256;
};

// True when `text` holds a C0 control character (0x00 to 0x1F, NUL included) or DEL.
bool HasControlCharacter(std::string_view text);

// True when `path` names a place below a destination folder: not empty, not
// absolute ("/" or "\" first), no drive root name ("C:"), no ".." segment
// between "/" or "\" separators, and no control character (HasControlCharacter).
// A manifest may only name such paths.
bool IsContainedRelativePath(const std::string& path);

// The local name of a manifest path below the destination: "\" separators become
// "/", and empty and "." segments are dropped, so that two spellings of one file
// ("a\\b", "a//b", "./a/b") give one name. "" when nothing remains.
std::string ToLocalPath(const std::string& path);

}  // namespace ombrix
