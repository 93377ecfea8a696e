#include "workflow/transfer_file_works.h"

#include <algorithm>
#include <boost/property_tree/ptree.hpp>
#include <filesystem>
#include <stdexcept>

#include "file/file_exceptions.h"
#include "file/filesystem.h"
#include "file/shared_file.h"
#include "file/volume.h"
#include "manifest/file_manifest.h"
#include "transfer/transfer_behavior.h"
#include "transfer/transfer_status_data.h"
#include "transfer/transfer_work_interface.h"
#include "workflow/transfer_chunk_works.h"
#include "workflow/transfer_shared_file_data.h"
#include "workflow/verify_chunks_works.h"

namespace ombrix {

namespace {

std::uint32_t ChunkConcurrency(TransferWorkInterface& transfer) {
  return std::max<std::uint32_t>(1, transfer.GetBehavior().settings.chunkConcurrency);
}

std::shared_ptr<TransferSharedFileData> FileData(const FileManifest& file) {
  return std::make_shared<TransferSharedFileData>(ToLocalPath(file.GetPath()), file.GetSize());
}

// The nearest folder of `path` that exists: a destination not made yet lives on
// the volume of its closest existing parent.
std::string NearestExisting(file::Filesystem& filesystem, const std::string& path) {
  std::filesystem::path probe(path);
  while (probe.has_relative_path() && !filesystem.ExistsQuietly(probe.string())) probe = probe.parent_path();
  return probe.string();
}

}  // namespace

// --- the download tree -------------------------------------------------------------

TransferMultipleFilesWork::TransferMultipleFilesWork(std::shared_ptr<TransferWorkInterface> transfer,
                                                     const FileList& runFiles, const FileList& otherFiles)
    : TransferWork(transfer), SequentialWork(WorkLogCompleteCallback(*transfer, false)) {
  if (runFiles.empty() && otherFiles.empty()) {
    throw std::logic_error("TransferMultipleFilesWork constructed with empty file set");
  }
  AddChild(std::make_shared<CheckPreallocateWork>(transfer));
  if (!runFiles.empty()) AddChild(std::make_shared<SequentialTransferMultipleFilesWork>(transfer, runFiles));
  if (!otherFiles.empty()) AddChild(std::make_shared<LazyParallelTransferMultipleFilesWork>(transfer, otherFiles));
}

void TransferMultipleFilesWork::Describe(boost::property_tree::ptree& tree) const {
  tree.add("name", "TransferMultipleFilesWork");
  DescribeTransfer(tree, true);
}

CheckPreallocateWork::CheckPreallocateWork(std::shared_ptr<TransferWorkInterface> transfer)
    : TransferWork(transfer), SimpleWork(WorkLogCompleteCallback(*transfer, true)) {}

void CheckPreallocateWork::Describe(boost::property_tree::ptree& tree) const {
  tree.add("name", "CheckPreallocateWork");
  DescribeTransfer(tree, true);
  tree.add("preallocate", transfer->GetParams().preallocate ? "true" : "false");
}

WorkStatus CheckPreallocateWork::ExecuteTask() {
  try {
    file::Filesystem& filesystem = *transfer->GetBehavior().filesystem;
    const std::string destination = NearestExisting(filesystem, transfer->GetParams().destPath);
    try {
      transfer->SetPreallocate(!filesystem.GetVolume(destination)->IsUsb());
    } catch (const file::InaccessibleException&) {
      transfer->SetPreallocate(true);
      return WorkStatus(WorkResult::Success,
                        std::make_shared<TransferErrorData>(TransferError::None, "Volume::IsUsb threw an exception"));
    }
    return WorkStatus(WorkResult::Success);
  } catch (...) {
    return FileExceptionStatus(std::current_exception());
  }
}

SequentialTransferMultipleFilesWork::SequentialTransferMultipleFilesWork(std::shared_ptr<TransferWorkInterface> transfer,
                                                                         const FileList& files)
    : TransferWork(transfer), SequentialWork(WorkLogCompleteCallback(*transfer, true)) {
  if (files.empty()) throw std::logic_error("SequentialTransferMultipleFilesWork constructed with empty cluster");
  for (const auto& file : files) AddChild(std::make_shared<TransferSingleFileWork>(transfer, file));
}

void SequentialTransferMultipleFilesWork::Describe(boost::property_tree::ptree& tree) const {
  tree.add("name", "SequentialTransferMultipleFilesWork");
  DescribeTransfer(tree, true);
}

LazyParallelTransferMultipleFilesWork::LazyParallelTransferMultipleFilesWork(
    std::shared_ptr<TransferWorkInterface> transfer, FileList files)
    : TransferWork(transfer),
      LazyParallelWork(WorkLogCompleteCallback(*transfer, true), ChunkConcurrency(*transfer)),
      files(std::move(files)) {
  if (this->files.empty()) throw std::logic_error("LazyParallelTransferMultipleFilesWork constructed with empty cluster");
}

void LazyParallelTransferMultipleFilesWork::Describe(boost::property_tree::ptree& tree) const {
  tree.add("name", "LazyParallelTransferMultipleFilesWork");
  DescribeTransfer(tree, true);
}

std::shared_ptr<Work> LazyParallelTransferMultipleFilesWork::CreateNextChild() {
  const std::uint64_t index = GetCreatedCount();
  if (index >= files.size()) return nullptr;
  return std::make_shared<TransferSingleFileWork>(transfer, files[index]);
}

TransferSingleFileWork::TransferSingleFileWork(std::shared_ptr<TransferWorkInterface> transfer,
                                               std::shared_ptr<const FileManifest> file)
    : TransferWork(transfer), SequentialWork(WorkLogCompleteCallback(*transfer, true)), fileData(FileData(*file)) {
  AddChild(std::make_shared<OpenAndAllocateFileWork>(transfer, fileData));
  if (file->GetSize() != 0) {
    // Without preallocation every chunk past the file's end waits in a write
    // cache; one chunk at a time keeps that to one cache per file.
    const std::uint32_t capacity = transfer->Params().preallocate ? ChunkConcurrency(*transfer) : 1;
    AddChild(std::make_shared<LazyParallelTransferMultipleChunksWork>(transfer, file, fileData, capacity));
  }
  AddChild(std::make_shared<CloseFileWork>(transfer, fileData, true));
}

// The file was registered for removal when it was opened; registering again here
// would take the transfer's lock from inside a parent's lock (this runs when a
// parent lets its finished child go).
TransferSingleFileWork::~TransferSingleFileWork() { fileData->SetFile(nullptr); }

void TransferSingleFileWork::Describe(boost::property_tree::ptree& tree) const {
  tree.add("name", "TransferSingleFileWork");
  DescribeTransfer(tree, true);
  fileData->Describe(tree);
}

OpenAndAllocateFileWork::OpenAndAllocateFileWork(std::shared_ptr<TransferWorkInterface> transfer,
                                                 std::shared_ptr<TransferSharedFileData> fileData)
    : TransferWork(transfer), SimpleWork(WorkLogCompleteCallback(*transfer, true)), fileData(std::move(fileData)) {}

void OpenAndAllocateFileWork::Describe(boost::property_tree::ptree& tree) const {
  tree.add("name", "OpenAndAllocateFileWork");
  DescribeTransfer(tree, true);
  fileData->Describe(tree);
}

namespace {

// Opens, sizes or replaces the local file. Every successful return has passed
// the execute protection.
std::shared_ptr<file::SharedFile> OpenAndAllocate(TransferWorkInterface& transfer, TransferSharedFileData& fileData,
                                                  bool allowReplace) {
  const TransferParams& params = transfer.Params();
  const TransferBehavior& behavior = transfer.GetBehavior();
  file::Filesystem& filesystem = *behavior.filesystem;
  const std::uint64_t expected = fileData.fileSize;
  filesystem.CreateDirectories(params.destPath);
  std::shared_ptr<file::SharedFile> file =
      filesystem.OpenFileBeneath(params.destPath, fileData.filePath, file::OpenMode::OpenAlways, true, 0,
                                 expected == 0 ? 0 : expected - 1);
  // Registered at once: a cancel with clean-up removes it even while it runs.
  transfer.RemoveFileOnCancel(fileData.filePath);
  const std::uint64_t size = file->GetSize();
  bool keep = size == expected;
  if (!keep && !params.preallocate && size == 0) {
    keep = true;  // grows as the chunks are written
  } else if (!keep && params.preallocate && file->Allocate(expected)) {
    keep = true;
    fileData.MarkWritten();
    fileData.MarkZeroFilled();
  } else if (!keep && !params.preallocate && size < expected) {
    keep = true;  // a partly written file is completed
  }
  if (!keep) {
    file.reset();
    if (!allowReplace) throw file::InUseException();
    filesystem.RemoveFile(params.destPath, fileData.filePath, true);
    return OpenAndAllocate(transfer, fileData, false);
  }
  if (behavior.settings.allowExecute) {
    try {
      if (filesystem.IsExecutable(params.destPath, fileData.filePath)) file->DenyExecute();
    } catch (...) {
      // Protection is best effort; the download does not depend on it.
    }
  }
  return file;
}

}  // namespace

WorkStatus OpenAndAllocateFileWork::ExecuteTask() {
  try {
    fileData->SetFile(OpenAndAllocate(*transfer, *fileData, true));
    return WorkStatus(WorkResult::Success);
  } catch (...) {
    return FileExceptionStatus(std::current_exception());
  }
}

CloseFileWork::CloseFileWork(std::shared_ptr<TransferWorkInterface> transfer,
                             std::shared_ptr<TransferSharedFileData> fileData, bool durable)
    : TransferWork(transfer), SimpleWork(WorkLogCompleteCallback(*transfer, false)),
      fileData(std::move(fileData)), durable(durable) {}

void CloseFileWork::Describe(boost::property_tree::ptree& tree) const {
  tree.add("name", "CloseFileWork");
  DescribeTransfer(tree, true);
  fileData->Describe(tree);
}

WorkStatus CloseFileWork::ExecuteTask() {
  try {
    if (durable && fileData->WasWritten()) {
      // A transfer reports success only once its bytes survive a crash; a late
      // write-back error shows up here instead of being lost.
      if (const std::shared_ptr<file::SharedFile> file = fileData->GetFile()) file->Flush();
    }
    fileData->SetFile(nullptr);
    return WorkStatus(WorkResult::Success);
  } catch (...) {
    // Never retryable: after a failed write-back the kernel marks the pages clean,
    // so a second flush would succeed while the bytes are lost.
    fileData->SetFile(nullptr);
    return WorkStatus(WorkResult::Error, std::make_shared<TransferFileExceptionData>(std::current_exception()));
  }
}

// --- the verification tree ----------------------------------------------------------

LazyParallelVerifyMultipleFilesWork::LazyParallelVerifyMultipleFilesWork(std::shared_ptr<TransferWorkInterface> transfer,
                                                                         FileList files)
    : TransferWork(transfer),
      LazyParallelWork(WorkLogCompleteCallback(*transfer, true), ChunkConcurrency(*transfer)),
      files(std::move(files)) {
  if (this->files.empty()) throw std::logic_error("LazyParallelVerifyMultipleFilesWork constructed with empty package");
}

void LazyParallelVerifyMultipleFilesWork::Describe(boost::property_tree::ptree& tree) const {
  tree.add("name", "LazyParallelVerifyMultipleFilesWork");
  DescribeTransfer(tree, true);
}

std::shared_ptr<Work> LazyParallelVerifyMultipleFilesWork::CreateNextChild() {
  const std::uint64_t index = GetCreatedCount();
  if (index >= files.size()) return nullptr;
  return std::make_shared<VerifySingleFileWork>(transfer, files[index]);
}

VerifySingleFileWork::VerifySingleFileWork(std::shared_ptr<TransferWorkInterface> transfer,
                                           std::shared_ptr<const FileManifest> file)
    : TransferWork(transfer), SequentialWork(WorkLogCompleteCallback(*transfer, true)), fileData(FileData(*file)) {
  AddChild(std::make_shared<OpenExistingFileWork>(transfer, fileData));
  if (file->GetSize() != 0) AddChild(std::make_shared<LazyParallelVerifyMultipleChunksWork>(transfer, file, fileData));
  AddChild(std::make_shared<CloseFileWork>(transfer, fileData, false));
}

void VerifySingleFileWork::Describe(boost::property_tree::ptree& tree) const {
  tree.add("name", "VerifySingleFileWork");
  DescribeTransfer(tree, true);
  fileData->Describe(tree);
}

OpenExistingFileWork::OpenExistingFileWork(std::shared_ptr<TransferWorkInterface> transfer,
                                           std::shared_ptr<TransferSharedFileData> fileData)
    : TransferWork(transfer), SimpleWork(WorkLogCompleteCallback(*transfer, true)), fileData(std::move(fileData)) {}

void OpenExistingFileWork::Describe(boost::property_tree::ptree& tree) const {
  tree.add("name", "OpenExistingFileWork");
  DescribeTransfer(tree, true);
  fileData->Describe(tree);
}

WorkStatus OpenExistingFileWork::ExecuteTask() {
  const auto mismatch = [](std::exception_ptr exception) {
    return WorkStatus(WorkResult::Error, std::make_shared<TransferExceptionData>(TransferError::ChecksumMismatch, exception));
  };
  try {
    const std::uint64_t expected = fileData->fileSize;
    std::shared_ptr<file::SharedFile> file = transfer->GetBehavior().filesystem->OpenFileBeneath(
        transfer->Params().destPath, fileData->filePath, file::OpenMode::ReadOnly, true, 0,
        expected == 0 ? 0 : expected - 1);
    if (file->GetSize() != expected) {
      return WorkStatus(WorkResult::Error, std::make_shared<TransferErrorData>(
                                               TransferError::ChecksumMismatch, "OpenExistingFileWork::ExecuteTask: size mismatch"));
    }
    fileData->SetFile(std::move(file));
    return WorkStatus(WorkResult::Success);
  } catch (const file::BadPathException&) {
    return mismatch(std::current_exception());
  } catch (const file::NotFoundException&) {
    return mismatch(std::current_exception());
  } catch (const file::InaccessibleException&) {
    return mismatch(std::current_exception());
  } catch (const file::InsufficientSpaceException&) {
    return mismatch(std::current_exception());
  } catch (...) {
    return FileExceptionStatus(std::current_exception());
  }
}

}  // namespace ombrix
