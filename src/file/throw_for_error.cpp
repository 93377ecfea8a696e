#include "file/throw_for_error.h"

#include <algorithm>
#include <array>
#include <utility>

#include "file/file_exceptions.h"

namespace ombrix::file {

namespace {

struct CodeKind {
  std::uint32_t code;
  ErrorKind kind;
};

// Windows system error codes and the kind each stands for. Stored files and callers
// depend on these kinds, so the table is data and tested code by code.
constexpr std::array kWindowsTable{
    CodeKind{2, ErrorKind::NotFound},            // file not found
    CodeKind{3, ErrorKind::NotFound},            // path not found
    CodeKind{5, ErrorKind::Inaccessible},        // access denied
    CodeKind{6, ErrorKind::BadPath},             // invalid handle
    CodeKind{8, ErrorKind::OutOfMemory},         // not enough memory
    CodeKind{14, ErrorKind::OutOfMemory},        // out of memory
    CodeKind{15, ErrorKind::NotFound},           // invalid drive
    CodeKind{16, ErrorKind::InUse},              // current directory
    CodeKind{19, ErrorKind::Inaccessible},       // write protected
    CodeKind{20, ErrorKind::NotFound},           // bad unit
    CodeKind{32, ErrorKind::InUse},              // sharing violation
    CodeKind{33, ErrorKind::InUse},              // lock violation
    CodeKind{39, ErrorKind::InsufficientSpace},  // handle disk full
    CodeKind{50, ErrorKind::BadPath},            // not supported
    CodeKind{53, ErrorKind::NotFound},           // bad network path
    CodeKind{55, ErrorKind::NotFound},           // device does not exist
    CodeKind{80, ErrorKind::InUse},              // file exists
    CodeKind{82, ErrorKind::Inaccessible},       // cannot make
    CodeKind{87, ErrorKind::BadPath},            // invalid parameter
    CodeKind{108, ErrorKind::InUse},             // drive locked
    CodeKind{111, ErrorKind::BadPath},           // buffer overflow (name too long)
    CodeKind{112, ErrorKind::InsufficientSpace}, // disk full
    CodeKind{123, ErrorKind::BadPath},           // invalid name
    CodeKind{142, ErrorKind::InUse},             // busy drive
    CodeKind{145, ErrorKind::InUse},             // directory not empty
    CodeKind{161, ErrorKind::BadPath},           // bad path name
    CodeKind{170, ErrorKind::InUse},             // busy
    CodeKind{183, ErrorKind::InUse},             // already exists
    CodeKind{223, ErrorKind::InsufficientSpace}, // file too large
    CodeKind{267, ErrorKind::BadPath},           // not a directory
    CodeKind{314, ErrorKind::InsufficientSpace},
    CodeKind{582, ErrorKind::BadPath},
    CodeKind{583, ErrorKind::BadPath},
    CodeKind{1006, ErrorKind::InvalidMap},       // file invalid
    CodeKind{1314, ErrorKind::Inaccessible},     // privilege not held
    CodeKind{2401, ErrorKind::InUse},            // open files
    CodeKind{2404, ErrorKind::InUse},            // device in use
    CodeKind{10013, ErrorKind::Inaccessible},
    CodeKind{10022, ErrorKind::BadPath},
    CodeKind{10045, ErrorKind::Inaccessible},
    CodeKind{10063, ErrorKind::BadPath},
};

constexpr bool IsSorted() {
  for (std::size_t i = 1; i < kWindowsTable.size(); ++i) {
    if (kWindowsTable[i - 1].code >= kWindowsTable[i].code) return false;
  }
  return true;
}
static_assert(IsSorted(), "the table is searched by bisection");

}  // namespace

ErrorKind ClassifyWindowsError(std::uint32_t code) {
  if (code == 0) return ErrorKind::None;
  auto found = std::lower_bound(kWindowsTable.begin(), kWindowsTable.end(), code,
                                [](const CodeKind& entry, std::uint32_t value) { return entry.code < value; });
  if (found != kWindowsTable.end() && found->code == code) return found->kind;
  return ErrorKind::Unknown;
}

void ThrowForKind(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::None: return;
    case ErrorKind::NotFound: throw NotFoundException();
    case ErrorKind::Inaccessible: throw InaccessibleException();
    case ErrorKind::BadPath: throw BadPathException();
    case ErrorKind::OutOfMemory: throw BadAllocation();
    case ErrorKind::InUse: throw InUseException();
    case ErrorKind::InsufficientSpace: throw InsufficientSpaceException();
    case ErrorKind::InvalidMap: throw InvalidMapException();
    case ErrorKind::Unknown: break;
  }
  throw UnknownException();
}

void ThrowForError(std::uint32_t code) { ThrowForKind(ClassifyWindowsError(code)); }

}  // namespace ombrix::file
