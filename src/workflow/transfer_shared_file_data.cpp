#include "workflow/transfer_shared_file_data.h"

#include <boost/property_tree/ptree.hpp>

#include "file/shared_file.h"

namespace ombrix {

TransferSharedFileData::TransferSharedFileData(std::string filePath, std::uint64_t fileSize)
    : filePath(std::move(filePath)), fileSize(fileSize) {}

TransferSharedFileData::~TransferSharedFileData() = default;

std::shared_ptr<file::SharedFile> TransferSharedFileData::GetFile() const {
  std::lock_guard lock(lock_);
  return file_;
}

void TransferSharedFileData::SetFile(std::shared_ptr<file::SharedFile> file) {
  std::shared_ptr<file::SharedFile> previous;
  {
    std::lock_guard lock(lock_);
    previous = std::exchange(file_, std::move(file));
  }
  // `previous` may be the last reference: the file closes here, outside the lock.
}

void TransferSharedFileData::Describe(boost::property_tree::ptree& tree) const {
  tree.add("filePath", filePath);
  tree.add("fileSize", fileSize);
}

void TransferSharedFileData::MarkChunkWritten(std::uint64_t lowerBound) {
  std::lock_guard<std::mutex> held(lock_);
  writtenChunks_.insert(lowerBound);
}

bool TransferSharedFileData::WasChunkWritten(std::uint64_t lowerBound) const {
  std::lock_guard<std::mutex> held(lock_);
  return writtenChunks_.count(lowerBound) != 0;
}

}  // namespace ombrix
