// The machine-wide configuration store on Linux: a folder tree standing in for the
// registry below HKEY_LOCAL_MACHINE. Key path components become folders, the value
// name a file holding the value as UTF-8 text.
#pragma once

#include <string>

#include "common/environment.h"
#include "updater/machine_store.h"

namespace ombrix::updater::posix {

inline constexpr const char* kMachineStoreVariable = "PELLOR_MACHINE_ROOT";
inline constexpr const char* kDefaultMachineStoreRoot = "/etc/pellor-update/machine";
// Longest value read, in UTF-16 units (a 16,384-unit buffer less the terminator);
// a longer value is a failure, not a truncation.
inline constexpr std::size_t kMaxValueUnits = 16383;

// Guarantees: ReadString never throws and never follows a key path outside the
// root (empty, "." and ".." components make the read fail). One trailing line break
// of the file is not part of the value, so a file written by an editor reads right;
// the value ends at its first NUL byte.
class FileMachineStore : public MachineStore {
 public:
  explicit FileMachineStore(std::string root);

  // Rooted at $PELLOR_MACHINE_ROOT when set, else at the default root under /etc.
  static FileMachineStore FromEnvironment(const Environment& environment);

  std::string ReadString(const std::string& path) const override;

 private:
  std::string root_;
};

}  // namespace ombrix::updater::posix
