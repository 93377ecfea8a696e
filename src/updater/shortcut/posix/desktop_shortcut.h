// The shortcut as a freedesktop desktop entry, "<name>.desktop"; a ".url" shortcut
// stays a ".url" file.
#pragma once

#include "file/filesystem.h"
#include "updater/shortcut/simple_shortcut.h"

namespace ombrix::shortcut::posix {

// The absolute path of the running program.
std::string ProgramPath();

// The Exec value that runs `target` with no arguments, quoted and escaped by the
// desktop-entry rules.
std::string DesktopExecValue(const std::string& target);

class DesktopShortcut : public SimpleShortcut {
 public:
  // `filesystem` must outlive the shortcut.
  DesktopShortcut(std::string name, file::Filesystem& filesystem, std::string folder);

  // Written under a temporary name and renamed, so a reader never sees half an
  // entry. A name that is empty, "." or "..", or holds "/" or NUL is refused.
  bool Create(const std::string& target) override;
  bool CopyTo(const std::string& destinationFolder, const std::string& newName) override;
  bool RemoveFrom(const std::string& folder, const std::string& shortcutName) override;

 private:
  file::Filesystem& filesystem;
  std::string folder;
};

}  // namespace ombrix::shortcut::posix
