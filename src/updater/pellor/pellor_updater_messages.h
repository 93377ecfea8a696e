// The Pellor Update product's texts.
#pragma once

#include "updater/updater_messages.h"

namespace ombrix::updater::pellor {

class PellorUpdaterMessages : public UpdaterMessages {
 public:
  std::string GetDomain() const override;
  std::string GetErrorText(std::uint8_t kind) const override;
  std::string GetTitle() const override;
  std::string GetErrorTitle() const override;
  std::string GetLaunchingText() const override;
  std::string GetLaunchFailedText() const override;
};

}  // namespace ombrix::updater::pellor
