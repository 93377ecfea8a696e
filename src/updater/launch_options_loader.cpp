#include "updater/launch_options_loader.h"

#include <cstdint>
#include <limits>
#include <optional>

#include "common/paths.h"

namespace ombrix::updater {

namespace {

// Length of the UTF-8 sequence that starts at text[i] if it is a valid character,
// else 0.
std::size_t Utf8SequenceLength(const std::string& text, std::size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3
                                        : (lead >> 3) == 0x1E ? 4 : 0;
  if (length == 0 || i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
  }
  return length;
}

// The "log=" value read as the 32-bit unsigned conversion does: leading white space
// and one sign accepted, digits up to the first non-digit, a minus negates modulo
// 2^32. Nothing when there are no digits or the magnitude exceeds 32 bits.
std::optional<std::uint32_t> ParseUnsigned32(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::uint64_t magnitude = 0;
  bool anyDigit = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    anyDigit = true;
    magnitude = magnitude * 10 + static_cast<std::uint64_t>(text[i] - '0');
    if (magnitude > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
  }
  if (!anyDigit) return std::nullopt;
  auto value = static_cast<std::uint32_t>(magnitude);
  return negative ? static_cast<std::uint32_t>(0u - value) : value;
}

bool StartsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

}  // namespace

std::string TruncateToUtf16Units(const std::string& text, std::size_t units) {
  std::size_t used = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t length = Utf8SequenceLength(text, i);
    std::size_t cost = length == 4 ? 2 : 1;  // four-byte characters need a surrogate pair
    if (length == 0) length = 1;
    if (used + cost > units) break;
    used += cost;
    i += length;
  }
  return text.substr(0, i);
}

LaunchOptionsLoader::LaunchOptionsLoader(LaunchSources sources) : sources_(std::move(sources)) {}

std::string LaunchOptionsLoader::Entry(unsigned id) const {
  return TruncateToUtf16Units(sources_.strings.Load(id), kStringEntryUnits);
}

LaunchOptions LaunchOptionsLoader::Load(const std::string& appDataSubpath) const {
  LaunchOptions options(appDataSubpath);
  options.manifestHost = Entry(kManifestHostString);
  options.packagePartnerId = Entry(kPackagePartnerIdString);
  options.skinPartnerId = Entry(kSkinPartnerIdString);
  options.displayName = Entry(kDisplayNameString);
  options.folderName = Entry(kFolderNameString);
  options.packageId = Entry(kPackageIdString);

  options.stagingFolder = JoinPath(sources_.temporaryFolder, appDataSubpath);
  options.skinBaseFolder = options.stagingFolder;

  options.skinPackageIds = Entry(kSkinPackageIdsString);
  options.childPackageIds = Entry(kChildPackageIdsString);
  options.defaultVersion = Entry(kDefaultVersionString);
  options.defaultLanguage = Entry(kDefaultLanguageString);

  ReadForcedPath(options);
  ReadCommandLine(options);
  options.languages = ParseLanguageList(Entry(kLanguagesString));
  return options;
}

void LaunchOptionsLoader::ReadForcedPath(LaunchOptions& options) const {
  const std::string valuePath = Entry(kForcedPathValueString);
  if (valuePath.empty()) return;
  std::string path = sources_.machine.ReadString(valuePath);
  // Trailing separators of either kind are dropped; on Linux a path is absolute
  // when it starts at the root directory.
  while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  if (path.empty() || path.front() != '/') return;
  options.forcedDownloadPath = path;
  options.forceDownloadPath = true;
}

void LaunchOptionsLoader::ReadCommandLine(LaunchOptions& options) const {
  const auto& arguments = sources_.arguments;
  if (arguments.empty()) return;
  options.programPath = arguments.front();
  for (const std::string& argument : arguments) {
    if (StartsWith(argument, "packageVersion=")) {
      options.packageVersion = argument.substr(15);
    } else if (StartsWith(argument, "skinVersion=")) {
      options.skinVersion = argument.substr(12);
    } else if (StartsWith(argument, "log=")) {
      std::optional<std::uint32_t> level = ParseUnsigned32(argument.substr(4));
      if (!level) return;  // a bad level ends reading; earlier values stay
      options.logLevel = static_cast<std::int32_t>(*level);
    }
  }
}

}  // namespace ombrix::updater
