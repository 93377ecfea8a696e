// pellor-update: downloads the application and its skin, verifies them and launches
// the application.
#include <cstring>
#include <iostream>

#include "common/environment.h"
#include "file/posix/filesystem_impl.h"
#include "file/posix/user_folders.h"
#include "transfer/transfer_service.h"
#include "updater/launch_options_loader.h"
#include "updater/pellor/pellor_updater.h"
#include "updater/posix/file_machine_store.h"
#include "updater/posix/resource_string_table.h"
#include "updater/posix/gtk_host.h"
#include "updater/process/posix/posix_process.h"
#include "updater/shortcut/posix/desktop_shortcut.h"

namespace {

constexpr const char* kUsage =
    "Usage: pellor-update [packageVersion=VERSION] [skinVersion=VERSION] [log=LEVEL]\n"
    "\n"
    "Downloads Pellor Update and its skin into the staging folder below the per-user\n"
    "cache folder ($TMPDIR, else $XDG_CACHE_HOME, else ~/.cache), checks every byte,\n"
    "and launches the application. An interrupted download resumes on the next run.\n"
    "\n"
    "  packageVersion=VERSION  the version the application is told about\n"
    "  skinVersion=VERSION     the skin version to download (default: the current one)\n"
    "  log=LEVEL               the work log's level mask (default -9)\n"
    "\n"
    "With DISPLAY or WAYLAND_DISPLAY set it shows a window, otherwise it works on the\n"
    "terminal (plain lines when stderr is not a terminal; NO_COLOR is honoured).\n"
    "The language follows LC_ALL, LC_MESSAGES or LANG. PELLOR_STRING_TABLE names a file\n"
    "that replaces the built-in product settings (see the README). OMBRIX_TRUST_KEY_FILE\n"
    "names the public key package manifests must be signed with, in place of the\n"
    "build's.\n"
    "\n"
    "Exit status: 0 the application ran, 1 an error was shown, 2 the updater could not\n"
    "start, 3 closed before the launch.\n";

}  // namespace

int main(int argc, char** argv) {
  using namespace ombrix::updater;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::cout << kUsage;
      return 0;
    }
  }
  try {
    const ombrix::Environment environment = ombrix::Environment::Current();
    auto strings = posix::ResourceStringTable::Open(environment);
    auto machine = posix::FileMachineStore::FromEnvironment(environment);
    LaunchOptionsLoader loader({*strings, machine, std::vector<std::string>(argv, argv + argc),
                                ombrix::file::posix::TemporaryFolder(environment)});
    LaunchOptions options = loader.Load("Tavrin/Pellor Update/Vesk");
    options.runElevated = false;
    // The shortcut points at this program wherever it was started from.
    if (const std::string self = ombrix::shortcut::posix::ProgramPath(); !self.empty()) options.programPath = self;

    ombrix::ServiceEnvironment serviceEnvironment;
    serviceEnvironment.environment = environment;
    UpdaterPlatform platform;
    platform.environment = environment;
    platform.makeService = [&](const ombrix::TransferSettings& settings) {
      return std::make_unique<ombrix::TransferService>(settings, serviceEnvironment);
    };
    platform.makeHost = [&] { return posix::MakeWindowHost(environment); };
    platform.launcher.run = [&](const std::string& path, const std::string& arguments, bool elevate) {
      return ombrix::process::posix::PosixProcess(path, environment).Run(true, elevate, arguments);
    };
    platform.launcher.createShortcut = [&](const std::string& folder, const std::string& name,
                                           const std::string& target) {
      ombrix::file::posix::FilesystemImpl filesystem(environment);
      return ombrix::shortcut::posix::DesktopShortcut(name, filesystem, folder).Create(target);
    };
    return pellor::PellorUpdater().Run(options, platform);
  } catch (const std::exception& e) {
    std::cerr << "pellor-update: " << e.what() << "\n";
    return kExitSetupFailed;
  }
}
