#include "support/manifest_text.h"

#include <algorithm>
#include <cstdio>

#include "common/crc32.h"

namespace ombrix::test {

std::string ChunkChecksums(const std::string& content, std::uint32_t chunkSize) {
  std::string hex;
  char text[9];
  for (std::size_t first = 0; first < content.size(); first += chunkSize) {
    const std::size_t length = std::min<std::size_t>(chunkSize, content.size() - first);
    std::snprintf(text, sizeof text, "%08x", Crc32(content.data() + first, length));
    hex += text;
  }
  return hex;
}

std::string FileElement(const std::string& path, const std::string& content, std::uint32_t chunkSize) {
  return "<file><path>" + path + "</path><chunksize>" + std::to_string(chunkSize) + "</chunksize><size>" +
         std::to_string(content.size()) + "</size><checksums>" + ChunkChecksums(content, chunkSize) +
         "</checksums></file>";
}

}  // namespace ombrix::test
