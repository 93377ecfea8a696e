// Status details through which works report the error their outcome means for
// the transfer.
#pragma once

#include <exception>
#include <string>

#include "transfer/transfer_error.h"
#include "work/work_status_data.h"

namespace ombrix {

// A status detail that knows its transfer error. Immutable once built, like every
// status detail.
class TransferStatusData : public virtual WorkStatusData {
 public:
  // None when the outcome is not an error.
  virtual TransferError ToTransferError() const = 0;
};

// An error with a message. Describe: "transferError" (decimal), "errorMessage".
// GetMessage: "error|<value>|<message>".
class TransferErrorData : public TransferStatusData, public WorkErrorData {
 public:
  TransferErrorData(TransferError error, std::string message);

  TransferError ToTransferError() const override { return error_; }
  void Describe(boost::property_tree::ptree& tree) const override;
  std::string GetMessage() const override;

 private:
  const TransferError error_;
};

// An error with a captured exception. Describe: "transferError", then the
// exception's "exception" and "what". GetMessage: "error|<value>|<type name>", or
// "Unknown exception type" in place of the type name.
class TransferExceptionData : public TransferStatusData, public WorkExceptionData {
 public:
  TransferExceptionData(TransferError error, std::exception_ptr exception);

  TransferError ToTransferError() const override { return error_; }
  void Describe(boost::property_tree::ptree& tree) const override;
  std::string GetMessage() const override;

 protected:
  // For the classifying subclass, which decides the error after looking.
  TransferExceptionData(std::exception_ptr exception, TransferError error);
  TransferError error_;
};

// A captured exception of file storage (or anything else a file operation threw),
// classified when built: bad path and not found are StorageAccess; in use and
// inaccessible StorageAccess, worth a retry; insufficient space InsufficientSpace,
// worth a retry; out of bounds Internal; any other file storage exception
// StorageWrite; memory exhaustion OutOfMemory; anything else Internal.
class TransferFileExceptionData : public TransferExceptionData {
 public:
  explicit TransferFileExceptionData(std::exception_ptr exception);

  // True when the same operation may succeed later (RetryableError, not Error).
  bool IsRetryWorthy() const { return retryWorthy_; }

 private:
  bool retryWorthy_ = false;
};

}  // namespace ombrix
