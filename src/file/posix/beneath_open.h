// Opening a path below a destination folder without leaving it.
#pragma once

#include <string>

namespace ombrix::file::posix {

// Opens `relative` below the folder `destination` with the open(2) `flags` (mode
// 0666 when creating) and returns the descriptor. The last element is never
// followed when it is a symbolic link, and no element resolves outside
// `destination`: openat2 with RESOLVE_BENEATH where the kernel has it, otherwise a
// walk that opens one folder at a time with O_NOFOLLOW, so a link to a folder is
// refused there. With createFolders, the missing folders of `relative` are made by
// that walk, again without following links. `relative` must be a relative path of
// "/"-separated elements none of which is empty, "." or "..": anything else, and
// any link that would lead out, is BadPathException; other failures are the kind
// of their errno. `destination` itself is the caller's choice and is followed.
// Thread-safe.
int OpenBeneath(const std::string& destination, const std::string& relative, int flags, bool createFolders);

}  // namespace ombrix::file::posix
