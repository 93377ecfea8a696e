#include "file/posix/errno_error.h"

#include <cerrno>

namespace ombrix::file::posix {

ErrorKind ClassifyErrno(int error) {
  switch (error) {
    case 0:
      return ErrorKind::None;
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return ErrorKind::NotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return ErrorKind::Inaccessible;
    case ENOTDIR:
    case ENAMETOOLONG:
    case EINVAL:
    case EBADF:
    case ELOOP:
    case EISDIR:
    case EILSEQ:
      return ErrorKind::BadPath;
    case ENOMEM:
      return ErrorKind::OutOfMemory;
    case EEXIST:
    case EBUSY:
    case ETXTBSY:
    case ENOTEMPTY:
    case EAGAIN:
      return ErrorKind::InUse;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return ErrorKind::InsufficientSpace;
    default:
      return ErrorKind::Unknown;
  }
}

void ThrowForErrno(int error) { ThrowForKind(ClassifyErrno(error)); }

}  // namespace ombrix::file::posix
