#include "manifest/file_manifest.h"

#include <limits>

#include <gtest/gtest.h>

#include "manifest/manifest_exceptions.h"

namespace ombrix {
namespace {

constexpr std::uint32_t kMiB = 1048576;

TEST(FileManifestChunks, EmptyFileHasNoChunks) {
  const StandardFileManifest file("f", kMiB, 0, {});
  EXPECT_EQ(file.GetChunkCount(), 0u);
  EXPECT_EQ(file.GetChunkFirst(0), 1u);
  EXPECT_EQ(file.GetChunkLast(0), 0u);
}

TEST(FileManifestChunks, LastChunkMayBeShort) {
  const StandardFileManifest file("f", kMiB, 2097153, {1, 2, 3});
  ASSERT_EQ(file.GetChunkCount(), 3u);
  EXPECT_EQ(file.GetChunkFirst(0), 0u);
  EXPECT_EQ(file.GetChunkLast(0), kMiB - 1u);
  EXPECT_EQ(file.GetChunkFirst(2), 2097152u);
  EXPECT_EQ(file.GetChunkLast(2), 2097152u);
  // Past the end: the empty range just after the file.
  EXPECT_EQ(file.GetChunkFirst(3), 2097154u);
  EXPECT_EQ(file.GetChunkLast(3), 2097153u);
  EXPECT_EQ(file.GetChunkFirst(std::numeric_limits<std::uint64_t>::max()), 2097154u);
}

TEST(FileManifestChunks, ExactMultipleHasNoExtraChunk) {
  const StandardFileManifest file("f", 4, 8, {1, 2});
  EXPECT_EQ(file.GetChunkCount(), 2u);
  EXPECT_EQ(file.GetChunkLast(1), 7u);
}

TEST(FileManifestChunks, ZeroChunkSizeHasNoChunks) {
  const StandardFileManifest file("f", 0, 100, {});
  EXPECT_EQ(file.GetChunkCount(), 0u);
  EXPECT_EQ(file.GetChunkFirst(0), 101u);
}

TEST(FileManifestChunks, CountLimits) {
  EXPECT_EQ(StandardFileManifest("f", 1, 536870911, {}).GetChunkCount(), 536870911u);
  EXPECT_THROW(StandardFileManifest("f", 1, 536870912, {}).GetChunkCount(),
               ManifestOverflowException);
  const auto max = std::numeric_limits<std::uint64_t>::max();
  // size + chunkSize - 1 overflows although the count itself would be small enough.
  EXPECT_THROW(StandardFileManifest("f", 0xFFFFFFFF, max, {}).GetChunkCount(),
               ManifestOverflowException);
  // The last size for which the sum still fits.
  const std::uint64_t size = max - (0xFFFFFFFFull - 1);
  EXPECT_THROW(StandardFileManifest("f", 0xFFFFFFFF, size, {}).GetChunkCount(),
               ManifestOverflowException);  // count ~ 2^32 > limit
  EXPECT_EQ(StandardFileManifest("f", 0xFFFFFFFF, 0xFFFFFFFFull * 3, {}).GetChunkCount(), 3u);
}

}  // namespace
}  // namespace ombrix
