#include "workflow/package_workflow.h"

#include <algorithm>
#include <boost/property_tree/ptree.hpp>
#include <limits>
#include <map>
#include <stdexcept>

#include "file/file_exceptions.h"
#include "file/filesystem.h"
#include "file/shared_file.h"
#include "manifest/file_manifest.h"
#include "manifest/package_manifest.h"
#include "transfer/transfer_behavior.h"
#include "transfer/transfer_status_data.h"
#include "work/deferred_work.h"
#include "work/standard_workflow.h"
#include "workflow/initialization_works.h"
#include "workflow/transfer_file_works.h"

namespace ombrix {

namespace {

// Thrown when a package names one local file twice with different contents.
class ConflictingEntries : public std::runtime_error {
 public:
  explicit ConflictingEntries(const std::string& path)
      : std::runtime_error("the package lists " + path + " twice with different contents") {}
};

bool SameContent(const FileManifest& a, const FileManifest& b) {
  return a.GetSize() == b.GetSize() && a.GetChunkSize() == b.GetChunkSize() && a.GetChecksums() == b.GetChecksums() &&
         a.GetChunkSha256() == b.GetChunkSha256();
}

// `lists` without repeated local files, in order; a repeat that agrees is dropped,
// one that differs throws ConflictingEntries.
std::vector<FileList> UniqueFiles(const std::vector<const PackageManifest::Files*>& lists) {
  std::map<std::string, const FileManifest*> seen;
  std::vector<FileList> unique;
  for (const auto* list : lists) {
    FileList kept;
    for (const auto& file : *list) {
      const auto [found, fresh] = seen.emplace(ToLocalPath(file->GetPath()), file.get());
      if (fresh) {
        kept.push_back(file);
      } else if (!SameContent(*found->second, *file)) {
        throw ConflictingEntries(found->first);
      }
    }
    unique.push_back(std::move(kept));
  }
  return unique;
}

WorkStatus ConstructFailure(std::exception_ptr exception) {
  try {
    std::rethrow_exception(exception);
  } catch (const ConflictingEntries& e) {
    return WorkStatus(WorkResult::Error, std::make_shared<TransferErrorData>(TransferError::ContentUnavailable, e.what()));
  } catch (...) {
    return WorkStatus(WorkResult::Error, std::make_shared<TransferExceptionData>(TransferError::Internal, exception));
  }
}

// Puts the file work `build` makes from the transfer's package into `deferred`.
template <class Build>
WorkStatus ConstructInto(TransferWorkInterface& transfer, DeferredWork& deferred, const char* alreadyAssigned,
                         Build build) {
  try {
    const auto package = transfer.GetPackage();
    if (!package) throw std::logic_error("the transfer has no package");
    if (!deferred.SetChild(build(*package))) {
      return WorkStatus(WorkResult::Error, std::make_shared<TransferErrorData>(TransferError::Internal, alreadyAssigned));
    }
    return WorkStatus(WorkResult::Success);
  } catch (...) {
    return ConstructFailure(std::current_exception());
  }
}

template <class Root>
std::shared_ptr<Workflow> CreateWorkflow(std::shared_ptr<TransferWorkInterface> transfer) {
  const TransferBehavior& behavior = transfer->GetBehavior();
  auto root = std::make_shared<Root>(transfer);
  auto workflow = StandardWorkflow::Create(root, *behavior.taskExecutor,
                                           std::max<std::uint32_t>(1, behavior.settings.workflowConcurrency));
  root->SetWorkflow(workflow);
  return workflow;
}

}  // namespace

ConstructTransferFromPackageWork::ConstructTransferFromPackageWork(std::shared_ptr<TransferWorkInterface> transfer,
                                                                   std::shared_ptr<DeferredWork> deferred)
    : TransferWork(transfer), SimpleWork(WorkLogCompleteCallback(*transfer, false)), deferred(std::move(deferred)) {}

void ConstructTransferFromPackageWork::Describe(boost::property_tree::ptree& tree) const {
  tree.add("name", "ConstructTransferFromPackageWork");
  DescribeTransfer(tree, false);
}

WorkStatus ConstructTransferFromPackageWork::ExecuteTask() {
  return ConstructInto(*transfer, *deferred,
                       "ConstructTransferFromPackageWork::ExecuteTask failed; DeferredWork already assigned",
                       [&](const PackageManifest& package) {
                         const auto files = UniqueFiles({&package.GetRunFiles(), &package.GetOtherFiles()});
                         return std::make_shared<TransferMultipleFilesWork>(transfer, files[0], files[1]);
                       });
}

ConstructVerifyFromPackageWork::ConstructVerifyFromPackageWork(std::shared_ptr<TransferWorkInterface> transfer,
                                                               std::shared_ptr<DeferredWork> deferred)
    : TransferWork(transfer), SimpleWork(WorkLogCompleteCallback(*transfer, false)), deferred(std::move(deferred)) {}

void ConstructVerifyFromPackageWork::Describe(boost::property_tree::ptree& tree) const {
  tree.add("name", "ConstructVerifyFromPackageWork");
  DescribeTransfer(tree, false);
}

WorkStatus ConstructVerifyFromPackageWork::ExecuteTask() {
  return ConstructInto(*transfer, *deferred,
                       "ConstructVerifyFromPackageWork::ExecuteTask failed; DeferredWork already assigned",
                       [&](const PackageManifest& package) {
                         return std::make_shared<LazyParallelVerifyMultipleFilesWork>(
                             transfer, UniqueFiles({&package.GetFiles()})[0]);
                       });
}

InitializeTransferWork::InitializeTransferWork(std::shared_ptr<TransferWorkInterface> transfer,
                                               std::shared_ptr<DeferredWork> deferred)
    : TransferWork(transfer), SequentialWork(transfer->GetInitializeRoute()) {
  AddCompleteCallback(WorkLogCompleteCallback(*transfer, false));
  AddChild(std::make_shared<GetManifestsWork>(transfer));
  AddChild(std::make_shared<GetGeolocationWork>(transfer));
  AddChild(std::make_shared<GeofenceWork>(transfer));
  AddChild(std::make_shared<ConstructTransferFromPackageWork>(transfer, std::move(deferred)));
}

void InitializeTransferWork::Describe(boost::property_tree::ptree& tree) const {
  tree.add("name", "InitializeTransferWork");
  DescribeTransfer(tree, false);
}

InitializeVerifyWork::InitializeVerifyWork(std::shared_ptr<TransferWorkInterface> transfer,
                                           std::shared_ptr<DeferredWork> deferred)
    : TransferWork(transfer), SequentialWork(transfer->GetInitializeRoute()) {
  AddCompleteCallback(WorkLogCompleteCallback(*transfer, false));
  AddChild(std::make_shared<GetManifestsWork>(transfer));
  AddChild(std::make_shared<GetGeolocationWork>(transfer));
  AddChild(std::make_shared<GeofenceWork>(transfer));
  AddChild(std::make_shared<ConstructVerifyFromPackageWork>(transfer, std::move(deferred)));
}

void InitializeVerifyWork::Describe(boost::property_tree::ptree& tree) const {
  tree.add("name", "InitializeVerifyWork");
  DescribeTransfer(tree, false);
}

AllowExecuteWork::AllowExecuteWork(std::shared_ptr<TransferWorkInterface> transfer)
    : TransferWork(transfer), SimpleWork(WorkLogCompleteCallback(*transfer, true)) {}

void AllowExecuteWork::Describe(boost::property_tree::ptree& tree) const {
  tree.add("name", "AllowExecuteWork");
  DescribeTransfer(tree, true);
}

WorkStatus AllowExecuteWork::ExecuteTask() {
  const auto package = transfer->GetPackage();
  if (!package) {
    return WorkStatus(WorkResult::Error, std::make_shared<TransferErrorData>(
                                             TransferError::Internal, "AllowExecuteWork::ExecuteTask has no package"));
  }
  try {
    file::Filesystem& filesystem = *transfer->GetBehavior().filesystem;
    const std::string& destPath = transfer->Params().destPath;
    for (const auto& file : package->GetFiles()) {
      const std::string path = ToLocalPath(file->GetPath());
      if (!filesystem.IsExecutable(destPath, path)) continue;
      const auto opened = filesystem.OpenFileBeneath(destPath, path, file::OpenMode::ReadOnly, true, 0,
                                                     std::numeric_limits<std::uint64_t>::max());
      if (!opened->AllowExecute()) throw file::InUseException();
    }
    return WorkStatus(WorkResult::Success);
  } catch (...) {
    return FileExceptionStatus(std::current_exception());
  }
}

TransferPackageWork::TransferPackageWork(std::shared_ptr<TransferWorkInterface> transfer)
    : TransferWork(transfer), SequentialWork(transfer->GetWorkCompleteRoute()) {
  AddCompleteCallback(WorkLogCompleteCallback(*transfer, true));
  auto deferred = DeferredWork::Create(WorkLogCompleteCallback(*transfer, false));
  AddChild(std::make_shared<InitializeTransferWork>(transfer, deferred));
  AddChild(deferred);
  if (transfer->GetBehavior().settings.allowExecute) AddChild(std::make_shared<AllowExecuteWork>(transfer));
}

void TransferPackageWork::Describe(boost::property_tree::ptree& tree) const {
  tree.add("name", "TransferPackageWork");
  DescribeTransfer(tree, false);
}

VerifyTransferWork::VerifyTransferWork(std::shared_ptr<TransferWorkInterface> transfer)
    : TransferWork(transfer), SequentialWork(transfer->GetWorkCompleteRoute()) {
  AddCompleteCallback(WorkLogCompleteCallback(*transfer, true));
  auto deferred = DeferredWork::Create(WorkLogCompleteCallback(*transfer, false));
  AddChild(std::make_shared<InitializeVerifyWork>(transfer, deferred));
  AddChild(deferred);
}

void VerifyTransferWork::Describe(boost::property_tree::ptree& tree) const {
  tree.add("name", "VerifyTransferWork");
  DescribeTransfer(tree, false);
}

std::shared_ptr<Workflow> TransferPackageWorkflowFactory::Create(std::shared_ptr<TransferWorkInterface> transfer) {
  return CreateWorkflow<TransferPackageWork>(std::move(transfer));
}

std::shared_ptr<Workflow> VerifyTransferWorkflowFactory::Create(std::shared_ptr<TransferWorkInterface> transfer) {
  return CreateWorkflow<VerifyTransferWork>(std::move(transfer));
}

}  // namespace ombrix
