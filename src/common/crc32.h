// The checksum every chunk is verified with.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ombrix {

// The standard CRC-32 (reflected polynomial 0xEDB88320, initial value and final
// complement 0xFFFFFFFF, as in gzip, zip and Ethernet) of `length` bytes at `data`.
// `seed` is the CRC of the bytes before them, so checksums chain:
// Crc32(b, nb, Crc32(a, na)) equals the CRC of a followed by b. The CRC of nothing
// is `seed` (0 without one); "123456789" gives 0xCBF43926. `data` may be null
// when `length` is 0. Thread-safe; runs at memory speed with the processor's
// carry-less multiplication when it has it.
std::uint32_t Crc32(const void* data, std::size_t length, std::uint32_t seed = 0);

}  // namespace ombrix
