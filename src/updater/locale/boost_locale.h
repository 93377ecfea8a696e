// The locale over Boost.Locale: a generated UTF-8 locale with a gettext message facet
// whose catalogs come from a MessageCatalog, never from the system's folders.
#pragma once

#include <locale>
#include <string>

#include "common/environment.h"
#include "updater/locale/message_catalog.h"
#include "updater/locale/simple_locale.h"

namespace ombrix::locale {

// The user's locale name from LC_ALL, then LC_MESSAGES, then LANG (the first that is
// set and not empty); "C", "POSIX", "C.UTF-8" and nothing at all mean US English.
std::string SystemLocaleName(const Environment& environment);

// Guarantees: formatting is safe from several threads while no SetLocale runs.
class BoostLocale : public SimpleLocale {
 public:
  std::string GetName() const override;
  std::string Translate(const std::string& text) const override;
  std::string Format(const std::string& pattern, const std::string& argument) const override;
  std::string Format2(const std::string& pattern, const std::string& argument1,
                      const std::string& argument2) const override;
  std::string FormatRaw(const std::string& pattern, const std::string& argument) const override;
  std::string FormatNumber(double value, int precision) const override;
  std::string FormatPercent(double value, int precision) const override;
  std::string FormatSize(std::uint64_t bytes) const override;
  std::string FormatTimeRemaining(std::int32_t seconds) const override;
  std::string FormatDuration(std::int64_t hours, std::int64_t minutes, std::int64_t seconds) const override;

 protected:
  // `systemName` stands for the empty locale name.
  BoostLocale(const MessageCatalog& catalog, std::string systemName);
  // Makes `name` current: generates its locale and loads its catalog.
  void Generate(const std::string& name);

 private:
  std::string domain;
  std::string path;
  std::string name;
  std::locale current;
  const MessageCatalog& catalog;
  std::string systemName;
};

class CustomBoostLocale : public BoostLocale {
 public:
  // `systemName` defaults to the user's locale of this process's environment.
  CustomBoostLocale(const MessageCatalog& catalog, const std::string& name,
                    std::string systemName = SystemLocaleName(Environment::Current()));
  void SetLocale(const std::string& name) override;
};

}  // namespace ombrix::locale
