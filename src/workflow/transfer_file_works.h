// The file level of a download and of a verification: which files run in which
// order, and opening, sizing and closing each local file.
#pragma once

#include <memory>
#include <vector>

#include "work/lazy_parallel_work.h"
#include "work/sequential_work.h"
#include "work/simple_work.h"
#include "workflow/transfer_work.h"

namespace ombrix {

class FileManifest;
class TransferSharedFileData;

using FileList = std::vector<std::shared_ptr<const FileManifest>>;

// The run files one after another, then the other files with bounded parallelism.
// std::logic_error "TransferMultipleFilesWork constructed with empty file set"
// when both lists are empty.
class TransferMultipleFilesWork : public TransferWork, public SequentialWork {
 public:
  TransferMultipleFilesWork(std::shared_ptr<TransferWorkInterface> transfer, const FileList& runFiles,
                            const FileList& otherFiles);
  void Describe(boost::property_tree::ptree& tree) const override;
};

// Decides once per download whether files get their full size at open: not on a
// USB volume, where files grow front to back instead.
class CheckPreallocateWork : public TransferWork, public SimpleWork {
 public:
  explicit CheckPreallocateWork(std::shared_ptr<TransferWorkInterface> transfer);
  void Describe(boost::property_tree::ptree& tree) const override;
  WorkStatus ExecuteTask() override;
  void Interrupt() override {}
};

class SequentialTransferMultipleFilesWork : public TransferWork, public SequentialWork {
 public:
  SequentialTransferMultipleFilesWork(std::shared_ptr<TransferWorkInterface> transfer, const FileList& files);
  void Describe(boost::property_tree::ptree& tree) const override;
};

class LazyParallelTransferMultipleFilesWork : public TransferWork, public LazyParallelWork {
 public:
  LazyParallelTransferMultipleFilesWork(std::shared_ptr<TransferWorkInterface> transfer, FileList files);
  void Describe(boost::property_tree::ptree& tree) const override;
  std::shared_ptr<Work> CreateNextChild() override;

 private:
  const FileList files;
};

// Open and size, the chunks, close. Files of size 0 have no chunk work. On a
// destination without preallocation the chunks of a file are fetched one at a
// time, so that at most one write cache per file holds memory.
class TransferSingleFileWork : public TransferWork, public SequentialWork {
 public:
  TransferSingleFileWork(std::shared_ptr<TransferWorkInterface> transfer, std::shared_ptr<const FileManifest> file);
  // Releases the record's handle of the file.
  ~TransferSingleFileWork() override;
  void Describe(boost::property_tree::ptree& tree) const override;

 private:
  const std::shared_ptr<TransferSharedFileData> fileData;
};

// Opens (creating folders and the file), sizes or replaces the local file, and
// denies execution of programs until the download ends. Opens never leave the
// destination nor follow a link planted in it.
class OpenAndAllocateFileWork : public TransferWork, public SimpleWork {
 public:
  OpenAndAllocateFileWork(std::shared_ptr<TransferWorkInterface> transfer,
                          std::shared_ptr<TransferSharedFileData> fileData);
  void Describe(boost::property_tree::ptree& tree) const override;
  WorkStatus ExecuteTask() override;
  void Interrupt() override {}

 private:
  const std::shared_ptr<TransferSharedFileData> fileData;
};

// Empties the record's file handle. With `durable` (downloads), a file this run
// wrote to is first made durable, and a failure there fails the work.
class CloseFileWork : public TransferWork, public SimpleWork {
 public:
  CloseFileWork(std::shared_ptr<TransferWorkInterface> transfer, std::shared_ptr<TransferSharedFileData> fileData,
                bool durable);
  void Describe(boost::property_tree::ptree& tree) const override;
  WorkStatus ExecuteTask() override;
  void Interrupt() override {}

 private:
  const std::shared_ptr<TransferSharedFileData> fileData;
  const bool durable;
};

// Every file of an installed package checked, read-only. std::logic_error
// "LazyParallelVerifyMultipleFilesWork constructed with empty package" when empty.
class LazyParallelVerifyMultipleFilesWork : public TransferWork, public LazyParallelWork {
 public:
  LazyParallelVerifyMultipleFilesWork(std::shared_ptr<TransferWorkInterface> transfer, FileList files);
  void Describe(boost::property_tree::ptree& tree) const override;
  std::shared_ptr<Work> CreateNextChild() override;

 private:
  const FileList files;
};

class VerifySingleFileWork : public TransferWork, public SequentialWork {
 public:
  VerifySingleFileWork(std::shared_ptr<TransferWorkInterface> transfer, std::shared_ptr<const FileManifest> file);
  void Describe(boost::property_tree::ptree& tree) const override;

 private:
  const std::shared_ptr<TransferSharedFileData> fileData;
};

// Opens an existing file read-only; a missing, unreadable or differently sized
// file fails verification (ChecksumMismatch).
class OpenExistingFileWork : public TransferWork, public SimpleWork {
 public:
  OpenExistingFileWork(std::shared_ptr<TransferWorkInterface> transfer,
                       std::shared_ptr<TransferSharedFileData> fileData);
  void Describe(boost::property_tree::ptree& tree) const override;
  WorkStatus ExecuteTask() override;
  void Interrupt() override {}

 private:
  const std::shared_ptr<TransferSharedFileData> fileData;
};

}  // namespace ombrix
