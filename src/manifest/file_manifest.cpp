#include "manifest/file_manifest.h"

#include <algorithm>
#include <limits>

#include <boost/property_tree/ptree.hpp>

#include "manifest/manifest_document.h"
#include "common/hex.h"
#include "manifest/manifest_exceptions.h"

namespace ombrix {

namespace {

constexpr std::size_t kChecksumDigits = 8;

// The leading hexadecimal digits of a group; a group without any yields 0. Such a
// value is caught later by chunk verification.
std::uint32_t ParseChecksumGroup(std::string_view group) {
  std::uint32_t value = 0;
  for (const char c : group) {
    const int digit = HexDigitValue(c);
    if (digit < 0) break;
    value = (value << 4) | static_cast<std::uint32_t>(digit);
  }
  return value;
}

}  // namespace

std::uint64_t FileManifest::GetChunkCount() const {
  const std::uint64_t chunk = GetChunkSize();
  if (chunk == 0) return 0;
  const std::uint64_t size = GetSize();
  if (size > std::numeric_limits<std::uint64_t>::max() - (chunk - 1)) {
    throw ManifestOverflowException();
  }
  const std::uint64_t count = (size + chunk - 1) / chunk;
  if (count > kMaxChunkCount) throw ManifestOverflowException();
  return count;
}

const std::vector<Sha256Digest>& FileManifest::GetChunkSha256() const {
  static const std::vector<Sha256Digest> none;
  return none;
}

std::optional<Sha256Digest> FileManifest::ChunkSha256(std::uint64_t index) const {
  const auto& digests = GetChunkSha256();
  if (index >= digests.size()) return std::nullopt;
  return digests[index];
}

std::uint64_t FileManifest::GetChunkFirst(std::uint64_t index) const {
  if (index >= GetChunkCount()) return GetSize() + 1;
  return index * GetChunkSize();
}

std::uint64_t FileManifest::GetChunkLast(std::uint64_t index) const {
  if (index >= GetChunkCount()) return GetSize();
  // index + 1 <= count, so (index + 1) * chunkSize <= size + chunkSize - 1: no overflow.
  const std::uint64_t end = (index + 1) * GetChunkSize() - 1;
  return std::min(end, GetSize() - 1);
}

StandardFileManifest::StandardFileManifest(std::string path, std::uint32_t chunkSize,
                                           std::uint64_t size,
                                           std::vector<std::uint32_t> checksums,
                                           std::vector<Sha256Digest> chunkSha256)
    : path(std::move(path)),
      chunkSize(chunkSize),
      size(size),
      checksums(std::move(checksums)),
      chunkSha256(std::move(chunkSha256)) {}

void StandardFileManifest::Read(const boost::property_tree::ptree& tree) {
  std::string newPath = RequiredText(tree, "path");
  const auto newChunkSize =
      ParseUnsigned(RequiredText(tree, "chunksize"), std::numeric_limits<std::uint32_t>::max());
  const auto newSize =
      ParseUnsigned(RequiredText(tree, "size"), std::numeric_limits<std::uint64_t>::max());
  if (!newChunkSize || !newSize || *newChunkSize == 0) throw ManifestParseException();
  if (!IsContainedRelativePath(newPath)) throw ManifestParseException();

  StandardFileManifest candidate(std::move(newPath), static_cast<std::uint32_t>(*newChunkSize),
                                 *newSize, {});
  std::uint64_t count = 0;
  try {
    count = candidate.GetChunkCount();
  } catch (const ManifestOverflowException&) {
    throw ManifestParseException();
  }
  const std::string& text = RequiredText(tree, "checksums");
  if (text.size() != count * kChecksumDigits) throw ManifestParseException();
  candidate.checksums.reserve(count);
  const std::string_view view(text);
  for (std::uint64_t i = 0; i < count; ++i) {
    candidate.checksums.push_back(ParseChecksumGroup(view.substr(i * kChecksumDigits, kChecksumDigits)));
  }
  *this = std::move(candidate);
}

bool HasControlCharacter(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
  });
}

bool IsContainedRelativePath(const std::string& path) {
  if (path.empty() || path.front() == '/' || path.front() == '\\') return false;
  // A NUL (a decoded "&#0;") ends the name at the system call, so "..\0/x" would
  // reach the parent folder and "a\01" and "a\02" the same file; the other control
  // characters are refused with it, as no file name of a package needs one.
  if (HasControlCharacter(path)) return false;
  // A drive root name ("C:" and "C:name" are both outside the destination on Windows).
  const bool letter = (path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z');
  if (letter && path.size() >= 2 && path[1] == ':') return false;
  std::size_t start = 0;
  while (start <= path.size()) {
    auto end = path.find_first_of("/\\", start);
    if (end == std::string::npos) end = path.size();
    if (path.compare(start, end - start, "..") == 0) return false;
    start = end + 1;
  }
  return true;
}

std::string ToLocalPath(const std::string& path) {
  std::string local;
  local.reserve(path.size());
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find_first_of("/\\", start);
    if (end == std::string::npos) end = path.size();
    const std::string_view segment(path.data() + start, end - start);
    if (!segment.empty() && segment != ".") {
      if (!local.empty()) local.push_back('/');
      local.append(segment);
    }
    start = end + 1;
  }
  return local;
}

}  // namespace ombrix
