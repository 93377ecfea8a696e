// The updater's configuration: product identity from the string table, an optional
// forced download path from the machine store, versions and log level from the
// command line.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "transfer/transfer_settings.h"

namespace ombrix::updater {

// (code, display name) pairs in the order they were written.
using LanguageList = std::vector<std::pair<std::string, std::string>>;

// Splits "a=x;b=y" at every ";" (empty pieces dropped); a piece becomes a pair split
// at its first "=", pieces without "=" are skipped. Order is kept.
LanguageList ParseLanguageList(const std::string& text);

// The marker for "no particular version".
inline constexpr const char* kNoVersion = "?";

// A plain value record; the dialog keeps its own copy.
struct LaunchOptions {
  explicit LaunchOptions(std::string appDataSubpath = "Tavrin/Pellor Update/Vesk");

  bool runElevated = true;
  std::string programPath;
  std::string manifestHost;
  std::string packagePartnerId;
  std::string skinPartnerId;
  std::string appDataSubpath;
  std::string packageId;
  std::string stagingFolder;
  std::string skinBaseFolder;
  std::string displayName;      // localizable
  std::string folderName;       // localizable
  std::string skinPackageIds;   // localizable
  std::string skinVersion = kNoVersion;
  std::string childPackageIds;  // localizable
  std::string packageVersion = kNoVersion;
  std::string defaultVersion;
  std::string defaultLanguage;
  std::string forcedDownloadPath;
  bool forceDownloadPath = false;
  std::int32_t logLevel = -9;
  LanguageList languages;

  // The transfer settings of the updater: the defaults with its overrides (manifest
  // host, doubled task threads, log level, a one-second rate window, and transfers
  // and logs folders below appDataSubpath).
  TransferSettings ToBehavior() const;

  // Without a language list every value is plain and returned unchanged. With one,
  // a value may be "code=text;code=text": the text for `localeName`, else the text
  // for defaultLanguage, else "". A value without any pair is returned unchanged.
  std::string Localized(const std::string& localeName, const std::string& raw) const;

  std::string LocalizedDisplayName(const std::string& localeName) const;
  std::string LocalizedFolderName(const std::string& localeName) const;
  std::string LocalizedSkinPackageIds(const std::string& localeName) const;
  std::string LocalizedChildPackageIds(const std::string& localeName) const;

  // packageVersion, or defaultVersion when packageVersion is "?" and defaultVersion is set.
  std::string ChildVersion() const;
};

// The argument string handed to the downloaded application: quoted values, every
// piece starting with a space, in a fixed order. `localeName` is the dialog's
// current locale; `skinRun` the skin package's run path ("" when it has none).
std::string BuildChildArguments(const LaunchOptions& options, const std::string& localeName,
                                const std::string& skinRun);

}  // namespace ombrix::updater
