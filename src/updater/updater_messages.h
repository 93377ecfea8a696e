// A product's user-visible texts: English message identifiers, translated at display
// time by the locale.
#pragma once

#include <cstdint>
#include <string>

namespace ombrix::updater {

class UpdaterMessages {
 public:
  virtual ~UpdaterMessages() = default;
  // The gettext domain of the product's catalogs.
  virtual std::string GetDomain() const = 0;
  // The text shown for a TransferError value (or 5 for a folder that cannot be made).
  virtual std::string GetErrorText(std::uint8_t kind) const = 0;
  // The patterns below take the localized display name as {1}.
  virtual std::string GetTitle() const = 0;
  virtual std::string GetErrorTitle() const = 0;
  virtual std::string GetLaunchingText() const = 0;
  virtual std::string GetLaunchFailedText() const = 0;
};

}  // namespace ombrix::updater
