#include "updater/updater.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "file/posix/filesystem_impl.h"
#include "updater/locale/boost_locale.h"

namespace ombrix::updater {

namespace {

// Held for the whole run: a second updater on the same staging folder would write
// the same files. Closing the descriptor (also by a crash) releases it.
class InstanceLock {
 public:
  explicit InstanceLock(const std::string& stagingFolder)
      : fd(::open((stagingFolder + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600)) {}
  ~InstanceLock() {
    if (fd >= 0) ::close(fd);
  }
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;
  // False when another process holds it. A lock file that cannot be made does not
  // stop the download.
  bool Acquire() { return fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK; }

 private:
  int fd;
};

}  // namespace

int Updater::Run(const LaunchOptions& options, const UpdaterPlatform& platform) {
  const UpdaterMessages& messages = GetMessages();
  auto catalog = std::make_unique<locale::posix::EmbeddedMessageCatalog>(messages.GetDomain());
  RegisterCatalogs(*catalog);
  auto locale = std::make_unique<locale::CustomBoostLocale>(*catalog, "",
                                                            locale::SystemLocaleName(platform.environment));
  if (!options.languages.empty()) locale->SetLocale(options.defaultLanguage);
  std::unique_ptr<TransferContract> service = platform.makeService(options.ToBehavior());
  auto monitor = std::make_unique<TransferMonitorImpl>(*service);
  monitor->Start();
  file::posix::FilesystemImpl filesystem(platform.environment);
  Dialog& dialog = Dialog::CreateSingleton(platform.makeHost(), *service, *monitor, *locale, options, messages,
                                           filesystem, platform.launcher);

  // The staging folder is made only where it was meant to be: an absolute path
  // without "..", never relative to the working folder.
  const bool staged =
      IsPlainAbsolutePath(options.stagingFolder) && filesystem.EnsureDirectoryQuietly(options.stagingFolder);
  std::optional<InstanceLock> instance;
  if (staged) instance.emplace(options.stagingFolder);
  if (!staged) {
    dialog.ShowError(static_cast<std::uint8_t>(TransferError::StorageAccess));
  } else if (!instance->Acquire()) {
    dialog.ShowErrorBox(locale->Format("{1} is already being downloaded by another Pellor Update window.",
                                       options.LocalizedDisplayName(locale->GetName())));
  } else {
    dialog.RunModal();
  }
  const DialogOutcome outcome = dialog.Outcome();

  monitor->Stop();
  Dialog::DestroySingleton();
  monitor.reset();
  service.reset();
  locale.reset();
  catalog.reset();
  switch (outcome) {
    case DialogOutcome::Launched: return kExitLaunched;
    case DialogOutcome::ErrorShown: return kExitErrorShown;
    default: return kExitClosed;
  }
}

}  // namespace ombrix::updater
