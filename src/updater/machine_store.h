// Read access to machine-wide configuration values (one string value by key path).
#pragma once

#include <string>

namespace ombrix::updater {

// Guarantees: ReadString never throws; every failure (missing key, missing value,
// a value of another kind, a value too long) gives "".
class MachineStore {
 public:
  virtual ~MachineStore() = default;
  // `path` names a key and, as its last component, the value: "Software\\Vendor\\Value".
  // Components are separated by "\" or "/".
  virtual std::string ReadString(const std::string& path) const = 0;
};

}  // namespace ombrix::updater
