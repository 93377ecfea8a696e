#include "file/throw_for_error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <new>
#include <string>

#include "file/bounded_data.h"
#include "file/file_exceptions.h"
#include "file/posix/errno_error.h"

namespace ombrix::file {
namespace {

TEST(ThrowForError, ZeroDoesNotThrow) {
  EXPECT_NO_THROW(ThrowForError(0));
  EXPECT_NO_THROW(posix::ThrowForErrno(0));
}

TEST(ThrowForError, WindowsCodesMapToTheirKinds) {
  for (std::uint32_t code : {2u, 3u, 15u, 20u, 53u, 55u}) EXPECT_THROW(ThrowForError(code), NotFoundException) << code;
  for (std::uint32_t code : {5u, 19u, 82u, 1314u, 10013u, 10045u}) {
    EXPECT_THROW(ThrowForError(code), InaccessibleException) << code;
  }
  for (std::uint32_t code : {6u, 50u, 87u, 111u, 123u, 161u, 267u, 582u, 583u, 10022u, 10063u}) {
    EXPECT_THROW(ThrowForError(code), BadPathException) << code;
  }
  for (std::uint32_t code : {16u, 32u, 33u, 80u, 108u, 142u, 145u, 170u, 183u, 2401u, 2404u}) {
    EXPECT_THROW(ThrowForError(code), InUseException) << code;
  }
  for (std::uint32_t code : {39u, 112u, 223u, 314u}) EXPECT_THROW(ThrowForError(code), InsufficientSpaceException);
  EXPECT_THROW(ThrowForError(1006), InvalidMapException);
}

TEST(ThrowForError, MemoryCodesAreBadAllocation) {
  for (std::uint32_t code : {8u, 14u}) {
    try {
      ThrowForError(code);
      ADD_FAILURE() << code;
    } catch (const std::bad_alloc& error) {
      EXPECT_EQ(std::string(error.what()), "bad allocation");
    }
  }
}

TEST(ThrowForError, CodesOutsideTheTableAreUnknown) {
  for (std::uint32_t code : {1u, 4u, 7u, 113u, 1005u, 1007u, 9999u, 0xFFFFFFFFu}) {
    EXPECT_THROW(ThrowForError(code), UnknownException) << code;
  }
}

TEST(ThrowForErrno, LinuxErrorsMapToTheSameKinds) {
  EXPECT_EQ(posix::ClassifyErrno(ENOENT), ErrorKind::NotFound);
  EXPECT_EQ(posix::ClassifyErrno(ENXIO), ErrorKind::NotFound);
  EXPECT_EQ(posix::ClassifyErrno(EACCES), ErrorKind::Inaccessible);
  EXPECT_EQ(posix::ClassifyErrno(EROFS), ErrorKind::Inaccessible);
  EXPECT_EQ(posix::ClassifyErrno(ENAMETOOLONG), ErrorKind::BadPath);
  EXPECT_EQ(posix::ClassifyErrno(EISDIR), ErrorKind::BadPath);
  EXPECT_EQ(posix::ClassifyErrno(EEXIST), ErrorKind::InUse);
  EXPECT_EQ(posix::ClassifyErrno(ENOTEMPTY), ErrorKind::InUse);
  EXPECT_EQ(posix::ClassifyErrno(ENOSPC), ErrorKind::InsufficientSpace);
  EXPECT_EQ(posix::ClassifyErrno(EDQUOT), ErrorKind::InsufficientSpace);
  EXPECT_EQ(posix::ClassifyErrno(EFBIG), ErrorKind::InsufficientSpace);
  EXPECT_EQ(posix::ClassifyErrno(EIO), ErrorKind::Unknown);
  EXPECT_THROW(posix::ThrowForErrno(ENOSPC), InsufficientSpaceException);
  EXPECT_THROW(posix::ThrowForErrno(ENOMEM), std::bad_alloc);
  EXPECT_THROW(posix::ThrowForErrno(EIO), UnknownException);
}

class Range : public BoundedData {
 public:
  using BoundedData::BoundedData;
  std::uint64_t GetPosition() override { return 0; }
  void SetPosition(std::uint64_t) override {}
  std::uint32_t Read(void*, std::uint32_t) override { return 0; }
  std::uint32_t Write(const void*, std::uint32_t) override { return 0; }
};

TEST(BoundedData, BoundsAreInclusiveAndOrdered) {
  Range range(10, 20);
  EXPECT_NO_THROW(range.CheckBounds(10, 20));
  EXPECT_NO_THROW(range.CheckBounds(15, 15));
  EXPECT_THROW(range.CheckBounds(9, 15), OutOfBoundsException);
  EXPECT_THROW(range.CheckBounds(15, 21), OutOfBoundsException);
  EXPECT_THROW(range.CheckBounds(16, 15), OutOfBoundsException);
}

TEST(BoundedData, SpanMustFitThirtyTwoBits) {
  EXPECT_NO_THROW(BoundedData::CheckSpan(0, 0xFFFFFFFEull));  // 2^32 - 1 bytes
  EXPECT_THROW(BoundedData::CheckSpan(0, 0xFFFFFFFFull), std::bad_alloc);  // exactly 2^32 bytes
  EXPECT_THROW(BoundedData::CheckSpan(5, 4), std::bad_alloc);
  Range whole(0, ~0ull);
  EXPECT_THROW(whole.CheckRange(1ull << 40, (1ull << 40) + 0xFFFFFFFFull), std::bad_alloc);
  EXPECT_NO_THROW(whole.CheckRange(~0ull, ~0ull));
}

}  // namespace
}  // namespace ombrix::file
