// Package-manifest text for tests that publish packages on the loopback server.
#pragma once

#include <cstdint>
#include <string>

namespace ombrix::test {

// The CRC-32 of every chunk of `content`, as the manifest's checksums text.
std::string ChunkChecksums(const std::string& content, std::uint32_t chunkSize);

// One <file> element for `content` at `path`.
std::string FileElement(const std::string& path, const std::string& content, std::uint32_t chunkSize);

}  // namespace ombrix::test
