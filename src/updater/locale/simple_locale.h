// The locale every user-visible text goes through: translation of English message
// identifiers and the formatting of names and numbers into translated patterns.
#pragma once

#include <cstdint>
#include <string>

namespace ombrix::locale {

class SimpleLocale {
 public:
  SimpleLocale() = default;
  virtual ~SimpleLocale() = default;
  SimpleLocale(const SimpleLocale&) = delete;
  SimpleLocale& operator=(const SimpleLocale&) = delete;

  // The current locale name as last set ("" = the user's locale).
  virtual std::string GetName() const = 0;
  virtual void SetLocale(const std::string& name) = 0;
  // The catalog's translation of `text`, or `text` itself.
  virtual std::string Translate(const std::string& text) const = 0;
  // Translate(pattern) with every "{1}" replaced by Translate(argument).
  virtual std::string Format(const std::string& pattern, const std::string& argument) const = 0;
  // FormatRaw(pattern, argument1) with every "{2}" replaced by argument2.
  virtual std::string Format2(const std::string& pattern, const std::string& argument1,
                              const std::string& argument2) const = 0;
  // Translate(pattern) with every "{1}" replaced by argument, untranslated.
  virtual std::string FormatRaw(const std::string& pattern, const std::string& argument) const = 0;
  virtual std::string FormatNumber(double value, int precision) const = 0;
  virtual std::string FormatPercent(double value, int precision) const = 0;
  // KB below 1 MiB (no decimals), MB below 1 GiB, GB above (two decimals).
  virtual std::string FormatSize(std::uint64_t bytes) const = 0;
  // -1: "Calculating time remaining"; otherwise a duration, minutes rounded up
  // above one minute.
  virtual std::string FormatTimeRemaining(std::int32_t seconds) const = 0;
  virtual std::string FormatDuration(std::int64_t hours, std::int64_t minutes, std::int64_t seconds) const = 0;
};

}  // namespace ombrix::locale
