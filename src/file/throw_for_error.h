// Translation of platform error codes into the file storage exception kinds.
#pragma once

#include <cstdint>
#include <exception>

namespace ombrix::file {

// The exception kind a platform error code stands for.
enum class ErrorKind : std::uint8_t {
  None,  // code 0: no error
  NotFound,
  Inaccessible,
  BadPath,
  OutOfMemory,  // the standard allocation failure "bad allocation"
  InUse,
  InsufficientSpace,
  InvalidMap,
  Unknown,
};

// Classifies a Windows system error code by the fixed table every file storage
// component shares. Pure; thread-safe.
ErrorKind ClassifyWindowsError(std::uint32_t code);

// Throws the exception of `kind`; returns normally for ErrorKind::None.
void ThrowForKind(ErrorKind kind);

// Throws the exception a Windows system error code stands for; code 0 returns
// without throwing, every unknown code throws UnknownException.
void ThrowForError(std::uint32_t code);

}  // namespace ombrix::file
