// pellor-update: reads its launch options and reports what it will download and run.
#include <iostream>

#include "common/environment.h"
#include "file/posix/user_folders.h"
#include "updater/launch_options_loader.h"
#include "updater/posix/file_machine_store.h"
#include "updater/posix/resource_string_table.h"

int main(int argc, char** argv) {
  using namespace ombrix::updater;
  const ombrix::Environment environment = ombrix::Environment::Current();
  auto strings = posix::ResourceStringTable::Open(environment);
  auto machine = posix::FileMachineStore::FromEnvironment(environment);
  LaunchOptionsLoader loader({*strings, machine, std::vector<std::string>(argv, argv + argc),
                              ombrix::file::posix::TemporaryFolder(environment)});
  LaunchOptions options = loader.Load("Tavrin/Pellor Update/Vesk");
  options.runElevated = false;
  const ombrix::TransferSettings settings = options.ToBehavior();

  std::cout << "Pellor Update\n"
            << "  manifest host:   " << settings.manifestHost << "\n"
            << "  main package:    " << options.packagePartnerId << "/" << options.packageId
            << " version " << options.packageVersion << "\n"
            << "  skin package:    " << options.skinPartnerId << "/" << options.skinPackageIds
            << " version " << options.skinVersion << "\n"
            << "  staging folder:  " << options.stagingFolder << "\n"
            << "  task threads:    " << settings.taskThreads << "\n"
            << "  application arguments:" << BuildChildArguments(options, "", "") << "\n"
            << "The download service is not built yet; nothing is downloaded.\n";
  return 0;
}
