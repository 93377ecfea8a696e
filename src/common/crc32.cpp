#include "common/crc32.h"

#include <isa-l/crc.h>

namespace ombrix {

std::uint32_t Crc32(const void* data, std::size_t length, std::uint32_t seed) {
  if (length == 0) return seed;
  // crc32_gzip_refl complements on entry and exit, so its result is directly the
  // seed of the next call.
  return crc32_gzip_refl(seed, static_cast<const unsigned char*>(data), length);
}

}  // namespace ombrix
