// The body writer of a chunk request: bytes go straight into the chunk's map.
#pragma once

#include <memory>

#include "file/memory_mapped_data.h"
#include "http/bounded_data_writer.h"

namespace ombrix {

class TransferProgressUpdater;
class TransferSharedMapData;

namespace detail {
// Holds the map and the chunk before the writer's base is built over the map.
struct TransferHttpWriterHandles {
  std::shared_ptr<file::MemoryMappedData> map;
  std::shared_ptr<TransferSharedMapData> chunk;
  std::shared_ptr<TransferProgressUpdater> progress;
};
}  // namespace detail

// Writes at the map's cursor, refusing anything outside the chunk's range, and
// counts every accepted byte in the chunk's fileProgressBytes and in the transfer's
// transferred and downloaded counters. Keeps the map and the chunk alive for its
// whole life, so a chunk record that drops its map meanwhile cannot pull the
// mapping from under a running request. Used by one thread at a time.
class TransferHttpWriter : private detail::TransferHttpWriterHandles, public http::BoundedDataWriter {
 public:
  // `map` must not be empty.
  TransferHttpWriter(std::shared_ptr<file::MemoryMappedData> map,
                     std::shared_ptr<TransferSharedMapData> chunk,
                     std::shared_ptr<TransferProgressUpdater> progress);

  http::RequestResult Write(const char* data, std::size_t length) override;

 private:
  bool wroteChunk = false;  // the chunk is recorded as written in its file's record
};

}  // namespace ombrix
