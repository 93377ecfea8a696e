// The two work trees of a transfer (download and verification), their
// initialization, and the factories that make a workflow of each.
#pragma once

#include <memory>

#include "transfer/transfer_work_interface.h"
#include "work/sequential_work.h"
#include "work/simple_work.h"
#include "workflow/transfer_work.h"

namespace ombrix {

class DeferredWork;

// Builds the download file work from the package record into the deferred slot.
// A package that names one local file twice downloads it once when both entries
// agree, and ends with ContentUnavailable when they differ.
class ConstructTransferFromPackageWork : public TransferWork, public SimpleWork {
 public:
  ConstructTransferFromPackageWork(std::shared_ptr<TransferWorkInterface> transfer,
                                   std::shared_ptr<DeferredWork> deferred);
  void Describe(boost::property_tree::ptree& tree) const override;
  WorkStatus ExecuteTask() override;
  void Interrupt() override {}

 private:
  const std::shared_ptr<DeferredWork> deferred;
};

// The same for the verification file work.
class ConstructVerifyFromPackageWork : public TransferWork, public SimpleWork {
 public:
  ConstructVerifyFromPackageWork(std::shared_ptr<TransferWorkInterface> transfer,
                                 std::shared_ptr<DeferredWork> deferred);
  void Describe(boost::property_tree::ptree& tree) const override;
  WorkStatus ExecuteTask() override;
  void Interrupt() override {}

 private:
  const std::shared_ptr<DeferredWork> deferred;
};

// Manifests, geolocation, geofence, then the construction of the file work.
class InitializeTransferWork : public TransferWork, public SequentialWork {
 public:
  InitializeTransferWork(std::shared_ptr<TransferWorkInterface> transfer, std::shared_ptr<DeferredWork> deferred);
  void Describe(boost::property_tree::ptree& tree) const override;
};

class InitializeVerifyWork : public TransferWork, public SequentialWork {
 public:
  InitializeVerifyWork(std::shared_ptr<TransferWorkInterface> transfer, std::shared_ptr<DeferredWork> deferred);
  void Describe(boost::property_tree::ptree& tree) const override;
};

// Gives back execution to the package's programs once every byte is in place.
class AllowExecuteWork : public TransferWork, public SimpleWork {
 public:
  explicit AllowExecuteWork(std::shared_ptr<TransferWorkInterface> transfer);
  void Describe(boost::property_tree::ptree& tree) const override;
  WorkStatus ExecuteTask() override;
  void Interrupt() override {}
};

// Root of a download: initialization, the file work, then AllowExecuteWork when
// the setting allowExecute is on.
class TransferPackageWork : public TransferWork, public SequentialWork {
 public:
  explicit TransferPackageWork(std::shared_ptr<TransferWorkInterface> transfer);
  void Describe(boost::property_tree::ptree& tree) const override;
};

// Root of a verification: initialization, then the read-only file work.
class VerifyTransferWork : public TransferWork, public SequentialWork {
 public:
  explicit VerifyTransferWork(std::shared_ptr<TransferWorkInterface> transfer);
  void Describe(boost::property_tree::ptree& tree) const override;
};

// A StandardWorkflow over a new download root, on the transfer's task executor,
// with at most workflowConcurrency leaves running.
class TransferPackageWorkflowFactory : public TransferWorkflowFactory {
 public:
  std::shared_ptr<Workflow> Create(std::shared_ptr<TransferWorkInterface> transfer) override;
};

// The same over a verification root.
class VerifyTransferWorkflowFactory : public TransferWorkflowFactory {
 public:
  std::shared_ptr<Workflow> Create(std::shared_ptr<TransferWorkInterface> transfer) override;
};

}  // namespace ombrix
