// The run sequence of the updater: localization, settings, the transfer service, the
// monitor and the dialog, built in order and torn down in reverse.
#pragma once

#include <functional>
#include <memory>

#include "common/environment.h"
#include "transfer/transfer_contract.h"
#include "transfer/transfer_settings.h"
#include "updater/dialog.h"
#include "updater/launch_options.h"
#include "updater/locale/posix/embedded_message_catalog.h"
#include "updater/updater_messages.h"
#include "updater/window_host.h"

namespace ombrix::updater {

// What the run sequence takes from its surroundings; tests give their own.
struct UpdaterPlatform {
  Environment environment;  // the user's locale, the temporary folder
  std::function<std::unique_ptr<TransferContract>(const TransferSettings&)> makeService;
  std::function<std::unique_ptr<WindowHost>()> makeHost;
  DialogLauncher launcher;
};

// Exit codes of the updater.
inline constexpr int kExitLaunched = 0;
inline constexpr int kExitErrorShown = 1;
inline constexpr int kExitSetupFailed = 2;  // main's, for an exception during setup
inline constexpr int kExitClosed = 3;       // closed by the user before the launch

class Updater {
 public:
  Updater() = default;
  virtual ~Updater() = default;
  Updater(const Updater&) = delete;
  Updater& operator=(const Updater&) = delete;

  virtual const UpdaterMessages& GetMessages() const = 0;
  // Registers every locale name the product has a catalog for.
  virtual void RegisterCatalogs(locale::posix::EmbeddedMessageCatalog& catalog) const = 0;

  // Runs the whole sequence; answers one of the exit codes above.
  int Run(const LaunchOptions& options, const UpdaterPlatform& platform);
};

}  // namespace ombrix::updater
