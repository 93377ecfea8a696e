// The Pellor Update product: its texts and its catalogs.
#pragma once

#include "updater/pellor/pellor_updater_messages.h"
#include "updater/updater.h"

namespace ombrix::updater::pellor {

class PellorUpdater : public Updater {
 public:
  const UpdaterMessages& GetMessages() const override;
  // The 48 locale names, in order, with their catalogs.
  void RegisterCatalogs(locale::posix::EmbeddedMessageCatalog& catalog) const override;

 private:
  PellorUpdaterMessages messages;
};

}  // namespace ombrix::updater::pellor
