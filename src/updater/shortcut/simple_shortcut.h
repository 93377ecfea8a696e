// A shortcut to the updater, kept in a folder of shortcuts.
#pragma once

#include <string>

namespace ombrix::shortcut {

// Every operation answers false on any failure and never throws.
class SimpleShortcut {
 public:
  explicit SimpleShortcut(std::string name) : name(std::move(name)) {}
  virtual ~SimpleShortcut() = default;
  // Creates the shortcut pointing at `target`, replacing one of the same name.
  virtual bool Create(const std::string& target) = 0;
  virtual bool CopyTo(const std::string& destinationFolder, const std::string& newName) = 0;
  virtual bool RemoveFrom(const std::string& folder, const std::string& shortcutName) = 0;

 protected:
  std::string name;
};

}  // namespace ombrix::shortcut
