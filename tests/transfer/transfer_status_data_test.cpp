#include "transfer/transfer_status_data.h"

#include <gtest/gtest.h>

#include <boost/property_tree/ptree.hpp>
#include <new>
#include <stdexcept>
#include <vector>

#include "file/file_exceptions.h"

namespace ombrix {
namespace {

TEST(TransferErrorData, CarriesItsValueIntoMessageAndDescription) {
  const TransferErrorData data(TransferError::ChecksumMismatch, "abc");
  EXPECT_EQ(data.ToTransferError(), TransferError::ChecksumMismatch);
  EXPECT_EQ(data.GetMessage(), "error|6|abc");
  boost::property_tree::ptree tree;
  data.Describe(tree);
  EXPECT_EQ(tree.get<std::string>("transferError"), "6");
  EXPECT_EQ(tree.get<std::string>("errorMessage"), "abc");
}

TEST(TransferExceptionData, NamesTheExceptionTypeOrSaysItIsUnknown) {
  const TransferExceptionData known(TransferError::Network,
                                    std::make_exception_ptr(std::runtime_error("secret")));
  EXPECT_EQ(known.GetMessage(), "error|2|std::runtime_error");
  const TransferExceptionData unknown(TransferError::Internal, std::make_exception_ptr(42));
  EXPECT_EQ(unknown.GetMessage(), "error|9|Unknown exception type");
  boost::property_tree::ptree tree;
  unknown.Describe(tree);
  EXPECT_EQ(tree.get<std::string>("transferError"), "9");
  EXPECT_EQ(tree.get<std::string>("exception"), "Unknown exception type");
}

TEST(TransferFileExceptionData, ClassifiesEveryKindOfFailure) {
  struct Row {
    const char* name;
    std::exception_ptr exception;
    TransferError error;
    bool retryWorthy;
  };
  const std::vector<Row> rows = {
      {"bad path", std::make_exception_ptr(file::BadPathException()), TransferError::StorageAccess, false},
      {"not found", std::make_exception_ptr(file::NotFoundException()), TransferError::StorageAccess, false},
      {"in use", std::make_exception_ptr(file::InUseException()), TransferError::StorageAccess, true},
      {"inaccessible", std::make_exception_ptr(file::InaccessibleException()), TransferError::StorageAccess, true},
      {"insufficient space", std::make_exception_ptr(file::InsufficientSpaceException()),
       TransferError::InsufficientSpace, true},
      {"out of bounds", std::make_exception_ptr(file::OutOfBoundsException()), TransferError::Internal, false},
      {"invalid map", std::make_exception_ptr(file::InvalidMapException()), TransferError::StorageWrite, false},
      {"unknown file", std::make_exception_ptr(file::UnknownException()), TransferError::StorageWrite, false},
      {"allocation", std::make_exception_ptr(file::BadAllocation()), TransferError::OutOfMemory, false},
      {"std allocation", std::make_exception_ptr(std::bad_alloc()), TransferError::OutOfMemory, false},
      {"other", std::make_exception_ptr(std::logic_error("x")), TransferError::Internal, false},
      {"not an exception", std::make_exception_ptr(7), TransferError::Internal, false},
      {"nothing", nullptr, TransferError::Internal, false},
  };
  for (const Row& row : rows) {
    const TransferFileExceptionData data(row.exception);
    EXPECT_EQ(data.ToTransferError(), row.error) << row.name;
    EXPECT_EQ(data.IsRetryWorthy(), row.retryWorthy) << row.name;
  }
}

}  // namespace
}  // namespace ombrix
