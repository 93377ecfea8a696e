#include "updater/launch_options.h"

#include <algorithm>
#include <limits>

#include "common/paths.h"
#include "updater/process/command_line.h"

namespace ombrix::updater {

LanguageList ParseLanguageList(const std::string& text) {
  LanguageList pairs;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(';', start);
    if (end == std::string::npos) end = text.size();
    std::string piece = text.substr(start, end - start);
    if (auto equals = piece.find('='); equals != std::string::npos) {
      pairs.emplace_back(piece.substr(0, equals), piece.substr(equals + 1));
    }
    start = end + 1;
  }
  return pairs;
}

LaunchOptions::LaunchOptions(std::string subpath) : appDataSubpath(std::move(subpath)) {}

TransferSettings LaunchOptions::ToBehavior() const {
  TransferSettings settings;
  if (!manifestHost.empty()) settings.manifestHost = manifestHost;
  // Doubling saturates instead of overflowing the signed field.
  settings.taskThreads = static_cast<std::int32_t>(std::min<std::int64_t>(
      std::int64_t{settings.taskThreads} * 2, std::numeric_limits<std::int32_t>::max()));
  settings.logLevel = logLevel;
  settings.rateWindow = 1;
  settings.transfersFolder = JoinPath(appDataSubpath, "transfers");
  settings.logsFolder = JoinPath(appDataSubpath, "logs");
  return settings;
}

std::string LaunchOptions::Localized(const std::string& localeName, const std::string& raw) const {
  if (languages.empty()) return raw;
  const LanguageList pairs = ParseLanguageList(raw);
  if (pairs.empty()) return raw;
  auto lookup = [&pairs](const std::string& name) -> const std::string* {
    auto found = std::find_if(pairs.begin(), pairs.end(),
                              [&name](const auto& pair) { return pair.first == name; });
    return found == pairs.end() ? nullptr : &found->second;
  };
  if (const std::string* value = lookup(localeName)) return *value;
  if (localeName != defaultLanguage) {
    if (const std::string* value = lookup(defaultLanguage)) return *value;
  }
  return "";
}

std::string LaunchOptions::LocalizedDisplayName(const std::string& localeName) const {
  return Localized(localeName, displayName);
}
std::string LaunchOptions::LocalizedFolderName(const std::string& localeName) const {
  return Localized(localeName, folderName);
}
std::string LaunchOptions::LocalizedSkinPackageIds(const std::string& localeName) const {
  return Localized(localeName, skinPackageIds);
}
std::string LaunchOptions::LocalizedChildPackageIds(const std::string& localeName) const {
  return Localized(localeName, childPackageIds);
}

std::string LaunchOptions::ChildVersion() const {
  if (packageVersion == kNoVersion && !defaultVersion.empty()) return defaultVersion;
  return packageVersion;
}

std::string BuildChildArguments(const LaunchOptions& options, const std::string& localeName,
                                const std::string& skinRun) {
  std::string result;
  // Quoted by the rules the application splits them with: a quote or a trailing
  // backslash in a value cannot end the value early and add arguments.
  auto piece = [&result](const char* name, const std::string& value) {
    result += name;
    result += ' ';
    result += process::QuoteArgument(value);
  };
  if (!options.manifestHost.empty()) piece(" /host", options.manifestHost);
  if (!options.skinPartnerId.empty()) piece(" /id", options.skinPartnerId);
  piece(" /package", options.LocalizedChildPackageIds(localeName));
  piece(" /name", options.LocalizedDisplayName(localeName));
  piece(" /folder", options.LocalizedFolderName(localeName));
  if (!localeName.empty()) piece(" /locale", localeName);
  if (const std::string version = options.ChildVersion(); version != kNoVersion) {
    piece(" /version", version);
  }
  if (!skinRun.empty()) {
    piece(" /skin", JoinPath(options.LocalizedSkinPackageIds(localeName), skinRun));
  }
  if (options.logLevel != -9) piece(" /log", std::to_string(options.logLevel));
  if (!options.forcedDownloadPath.empty()) {
    piece(" /downloadPath", options.forcedDownloadPath);
    if (options.forceDownloadPath) result += " /forcePath";
  }
  return result;
}

}  // namespace ombrix::updater
