// Translation of Linux errno values into the file storage exception kinds.
#pragma once

#include "file/throw_for_error.h"

namespace ombrix::file::posix {

// The kind an errno value stands for: the Linux counterpart of the Windows table, so
// that both platforms report the same situation with the same kind. 0 is None; an
// errno without a counterpart is Unknown. Pure; thread-safe.
ErrorKind ClassifyErrno(int error);

// Throws the exception of ClassifyErrno(error); returns normally for 0.
void ThrowForErrno(int error);

}  // namespace ombrix::file::posix
