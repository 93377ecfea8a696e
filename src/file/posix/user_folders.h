// Where the per-user folders of the system live on Linux.
#pragma once

#include <string>

#include "common/environment.h"

namespace ombrix::file::posix {

// The per-user folder that persists between runs and holds the staging folder,
// transfer records and logs: $TMPDIR when it is an absolute path, else
// $XDG_CACHE_HOME when absolute, else $HOME/.cache. Never the shared /tmp, where
// another user could plant the folder or a symbolic link. The cache folder is
// created (mode 0700) when missing, as the XDG conventions allow. Returns "" when
// no candidate is known or the result is not a directory.
std::string TemporaryFolder(const Environment& environment);

// The user's desktop: $XDG_DESKTOP_DIR, else the XDG_DESKTOP_DIR line of
// $XDG_CONFIG_HOME/user-dirs.dirs (default ~/.config), else $HOME/Desktop.
// "" when none is known.
std::string DesktopFolder(const Environment& environment);

}  // namespace ombrix::file::posix
