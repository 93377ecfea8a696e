#include "file/shared_file.h"

#include "file/sequential_write_cache.h"

namespace ombrix::file {

SharedFile::SharedFile(std::uint64_t first, std::uint64_t last, std::shared_ptr<OperationContext> context)
    : BoundedData(first, last), context(std::move(context)), monitor(std::make_shared<FileSizeMonitor>()) {
  CheckBounds(first, last);
}

std::shared_ptr<MemoryMappedData> SharedFile::Map() { return Map(lowerBound, upperBound); }

std::shared_ptr<SharedFile> SharedFile::OpenRange() { return OpenRange(lowerBound, upperBound); }

std::shared_ptr<SequentialWriteCache> SharedFile::CreateWriteCache(std::uint64_t first, std::uint64_t last,
                                                                   std::uint32_t timeoutSeconds) {
  CheckRange(first, last);
  monitor->Raise(GetSize());
  std::shared_ptr<SharedFile> sub = OpenRange(first, last);
  return std::make_shared<SequentialWriteCache>(std::move(sub), context, monitor, first, last, timeoutSeconds);
}

}  // namespace ombrix::file
