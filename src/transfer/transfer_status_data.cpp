#include "transfer/transfer_status_data.h"

#include <boost/property_tree/ptree.hpp>
#include <new>
#include <string>

#include "file/file_exceptions.h"

namespace ombrix {

namespace {
std::string ErrorPrefix(TransferError error) {
  return "error|" + std::to_string(static_cast<unsigned>(error)) + "|";
}
}  // namespace

TransferErrorData::TransferErrorData(TransferError error, std::string message)
    : WorkErrorData(std::move(message)), error_(error) {}

void TransferErrorData::Describe(boost::property_tree::ptree& tree) const {
  tree.add("transferError", static_cast<unsigned>(error_));
  WorkErrorData::Describe(tree);
}

std::string TransferErrorData::GetMessage() const {
  return ErrorPrefix(error_) + WorkErrorData::GetMessage();
}

TransferExceptionData::TransferExceptionData(TransferError error, std::exception_ptr exception)
    : WorkExceptionData(std::move(exception)), error_(error) {}

TransferExceptionData::TransferExceptionData(std::exception_ptr exception, TransferError error)
    : WorkExceptionData(std::move(exception)), error_(error) {}

void TransferExceptionData::Describe(boost::property_tree::ptree& tree) const {
  tree.add("transferError", static_cast<unsigned>(error_));
  WorkExceptionData::Describe(tree);
}

std::string TransferExceptionData::GetMessage() const {
  return ErrorPrefix(error_) + WorkExceptionData::GetMessage();
}

TransferFileExceptionData::TransferFileExceptionData(std::exception_ptr exception)
    : TransferExceptionData(exception, TransferError::Internal) {
  try {
    if (exception) std::rethrow_exception(exception);
  } catch (const file::BadPathException&) {
    error_ = TransferError::StorageAccess;
  } catch (const file::NotFoundException&) {
    error_ = TransferError::StorageAccess;
  } catch (const file::InUseException&) {
    error_ = TransferError::StorageAccess;
    retryWorthy_ = true;
  } catch (const file::InaccessibleException&) {
    error_ = TransferError::StorageAccess;
    retryWorthy_ = true;
  } catch (const file::InsufficientSpaceException&) {
    error_ = TransferError::InsufficientSpace;
    retryWorthy_ = true;
  } catch (const file::OutOfBoundsException&) {
    error_ = TransferError::Internal;
  } catch (const file::Exception&) {
    error_ = TransferError::StorageWrite;
  } catch (const std::bad_alloc&) {
    error_ = TransferError::OutOfMemory;
  } catch (...) {
    error_ = TransferError::Internal;
  }
}

}  // namespace ombrix
