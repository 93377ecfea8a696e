// The kinds of error a transfer reports to its application.
#pragma once

#include <cstdint>

namespace ombrix {

// The numeric values are what applications choose their error texts by; they
// never change.
enum class TransferError : std::uint8_t {
  None = 0,
  ContentUnavailable = 1,  // the content is not there: HTTP status below 500, bad range
  Network = 2,             // resolution, connection, transmission, time-outs, status >= 500
  OutOfMemory = 3,
  InsufficientSpace = 4,
  StorageAccess = 5,       // bad path, not found, in use, inaccessible
  ChecksumMismatch = 6,
  StorageWrite = 7,        // any other storage failure; received data not written
  BadRequest = 8,
  Internal = 9,
  Geofence = 10,           // the package is not offered in the user's country
};

}  // namespace ombrix
