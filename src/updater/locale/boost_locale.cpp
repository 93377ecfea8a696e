#include "updater/locale/boost_locale.h"

#include <boost/algorithm/string/replace.hpp>
#include <boost/locale/generator.hpp>
#include <boost/locale/gnu_gettext.hpp>
#include <boost/locale/info.hpp>
#include <boost/locale/message.hpp>
#include <iomanip>
#include <sstream>

namespace ombrix::locale {

namespace {

constexpr const char* kEnglish = "en_US.UTF-8";

// "lang_COUNTRY.any-encoding@variant" → "lang_COUNTRY.UTF-8@variant": translations
// come out as UTF-8 whatever encoding the user's environment names.
std::string Utf8LocaleId(const std::string& name) {
  if (name.empty() || name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0) return kEnglish;
  const std::size_t at = name.find('@');
  const std::string variant = at == std::string::npos ? "" : name.substr(at);
  const std::string base = name.substr(0, std::min(name.find('.'), at));
  return base.empty() ? kEnglish : base + ".UTF-8" + variant;
}

}  // namespace

std::string SystemLocaleName(const Environment& environment) {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const auto value = environment.Get(variable);
    if (value && !value->empty()) return Utf8LocaleId(*value);
  }
  return kEnglish;
}

BoostLocale::BoostLocale(const MessageCatalog& catalog, std::string systemName)
    : domain(catalog.GetDomain()), path(catalog.GetPath()), catalog(catalog), systemName(std::move(systemName)) {}

void BoostLocale::Generate(const std::string& localeName) {
  name = localeName;
  boost::locale::generator generator;
  const std::locale generated = generator(Utf8LocaleId(localeName.empty() ? systemName : localeName));
  const auto& info = std::use_facet<boost::locale::info>(generated);
  boost::locale::gnu_gettext::messages_info messages;
  messages.language = info.language();
  messages.country = info.country();
  messages.variant = info.variant();
  messages.encoding = info.encoding();
  messages.paths = {path};
  messages.domains = {boost::locale::gnu_gettext::messages_info::domain(domain)};
  const MessageCatalog& source = catalog;
  messages.callback = [&source](const std::string& fileName, const std::string&) { return source.Load(fileName); };
  try {
    current = std::locale(generated, boost::locale::gnu_gettext::create_messages_facet<char>(messages));
  } catch (const std::exception&) {
    // A catalog the backend cannot read leaves the English identifiers.
    current = generated;
  }
}

std::string BoostLocale::GetName() const { return name; }

std::string BoostLocale::Translate(const std::string& text) const {
  if (!std::has_facet<boost::locale::message_format<char>>(current)) return text;
  return boost::locale::translate(text).str(current);
}

std::string BoostLocale::Format(const std::string& pattern, const std::string& argument) const {
  return FormatRaw(pattern, Translate(argument));
}

std::string BoostLocale::Format2(const std::string& pattern, const std::string& argument1,
                                 const std::string& argument2) const {
  return boost::algorithm::replace_all_copy(FormatRaw(pattern, argument1), "{2}", argument2);
}

std::string BoostLocale::FormatRaw(const std::string& pattern, const std::string& argument) const {
  return boost::algorithm::replace_all_copy(Translate(pattern), "{1}", argument);
}

std::string BoostLocale::FormatNumber(double value, int precision) const {
  std::ostringstream out;
  out << std::fixed << std::setprecision(precision) << value;
  return out.str();
}

std::string BoostLocale::FormatPercent(double value, int precision) const {
  return FormatNumber(value * 100, precision) + "%";
}

std::string BoostLocale::FormatSize(std::uint64_t bytes) const {
  const auto size = static_cast<double>(bytes);
  if (bytes < (1ull << 20)) return FormatNumber(size / 1024, 0) + " KB";
  if (bytes < (1ull << 30)) return FormatNumber(size / (1 << 20), 2) + " MB";
  return FormatNumber(size / (1 << 30), 2) + " GB";
}

std::string BoostLocale::FormatTimeRemaining(std::int32_t seconds) const {
  if (seconds == -1) return Translate("Calculating time remaining");
  // 64 bits: the largest estimate plus the minute of rounding must not wrap.
  std::int64_t s = seconds;
  if (s > 60) s += 60;
  return FormatDuration(s / 3600, s % 3600 / 60, s % 60);
}

std::string BoostLocale::FormatDuration(std::int64_t hours, std::int64_t minutes, std::int64_t seconds) const {
  const std::string h = std::to_string(hours);
  const std::string m = std::to_string(minutes);
  if (hours >= 2) {
    if (minutes >= 2) return Format2("{1} hours, {2} minutes remaining", h, m);
    if (minutes == 1) return FormatRaw("{1} hours, 1 minute remaining", h);
    return FormatRaw("{1} hours remaining", h);
  }
  if (hours == 1) {
    if (minutes >= 2) return FormatRaw("1 hour, {1} minutes remaining", m);
    if (minutes == 1) return Translate("1 hour, 1 minute remaining");
    return Translate("1 hour remaining");
  }
  if (minutes >= 2) return FormatRaw("{1} minutes remaining", m);
  if (minutes == 1) return Translate("1 minute remaining");
  if (seconds >= 2) return FormatRaw("{1} seconds remaining", std::to_string(seconds));
  if (seconds == 1) return Translate("1 second remaining");
  return FormatRaw("{1} seconds remaining", "0");
}

CustomBoostLocale::CustomBoostLocale(const MessageCatalog& catalog, const std::string& name, std::string systemName)
    : BoostLocale(catalog, std::move(systemName)) {
  Generate(name);
}

void CustomBoostLocale::SetLocale(const std::string& name) { Generate(name); }

}  // namespace ombrix::locale
