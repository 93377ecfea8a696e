#include "workflow/transfer_http_writer.h"

#include "transfer/transfer_progress_updater.h"
#include "workflow/transfer_shared_file_data.h"
#include "workflow/transfer_shared_map_data.h"

namespace ombrix {

TransferHttpWriter::TransferHttpWriter(std::shared_ptr<file::MemoryMappedData> map,
                                       std::shared_ptr<TransferSharedMapData> chunk,
                                       std::shared_ptr<TransferProgressUpdater> progress)
    : detail::TransferHttpWriterHandles{std::move(map), std::move(chunk), std::move(progress)},
      http::BoundedDataWriter(*this->map) {}

http::RequestResult TransferHttpWriter::Write(const char* data, std::size_t length) {
  http::RequestResult result = http::BoundedDataWriter::Write(data, length);
  const std::uint64_t accepted = result.bytesReceived;
  if (accepted != 0) {
    chunk->fileProgressBytes += accepted;
    if (!wroteChunk && chunk->fileData) {
      wroteChunk = true;  // once per attempt: the record takes a lock
      chunk->fileData->MarkWritten();
      chunk->fileData->MarkChunkWritten(chunk->lowerBound);
    }
    if (progress) {
      progress->AddTransferredBytes(accepted);
      progress->AddDownloadedBytes(accepted);
    }
  }
  return result;
}

}  // namespace ombrix
