// Reads the launch options from the string table, the machine store and the command line.
#pragma once

#include <string>
#include <vector>

#include "updater/launch_options.h"
#include "updater/machine_store.h"
#include "updater/string_table.h"

namespace ombrix::updater {

// String-table entries of the product.
enum StringId : unsigned {
  kManifestHostString = 102,
  kPackagePartnerIdString = 103,
  kSkinPartnerIdString = 104,
  kChildPackageIdsString = 105,
  kDefaultVersionString = 106,
  kSkinPackageIdsString = 107,
  kPackageIdString = 108,
  kDisplayNameString = 109,
  kFolderNameString = 110,
  kLanguagesString = 112,
  kDefaultLanguageString = 113,
  kForcedPathValueString = 114,
};

// Longest string-table text read, in UTF-16 units; longer entries are cut there,
// never inside a character.
inline constexpr std::size_t kStringEntryUnits = 254;

// Cuts UTF-8 text after `units` UTF-16 units without splitting a character. Bytes
// that are not valid UTF-8 count as one unit each and are kept as they are.
std::string TruncateToUtf16Units(const std::string& text, std::size_t units);

// What the loader reads from. The sources must outlive the loader.
struct LaunchSources {
  const StringTable& strings;
  const MachineStore& machine;
  // The command line as the process received it, program path first. Empty when
  // the process was started without arguments at all.
  std::vector<std::string> arguments;
  // The per-user temporary folder, "" when unknown.
  std::string temporaryFolder;
};

// Guarantees: Load never throws for any content of its sources and never reports
// anything; a bad "log=" value stops reading the command line at that argument.
class LaunchOptionsLoader {
 public:
  explicit LaunchOptionsLoader(LaunchSources sources);

  LaunchOptions Load(const std::string& appDataSubpath) const;

 private:
  std::string Entry(unsigned id) const;
  void ReadForcedPath(LaunchOptions& options) const;
  void ReadCommandLine(LaunchOptions& options) const;

  LaunchSources sources_;
};

}  // namespace ombrix::updater
