#include "updater/dialog.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>

namespace ombrix::updater {

namespace {

std::mutex singletonLock;
std::unique_ptr<Dialog> singleton;

std::string Join(const std::string& folder, const std::string& name) {
  return (std::filesystem::path(folder) / name).string();
}

bool HasOnlyPlainComponents(const std::string& path) {
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find_first_of("/\\", start), path.size());
    const std::string_view component(path.data() + start, end - start);
    if (component == "." || component == "..") return false;
    start = end + 1;
  }
  return path.find('\0') == std::string::npos;
}

// The folder belongs to this user and nobody else can write into it: nobody can
// swap the program the dialog is about to start.
bool IsPrivateFolder(const std::string& folder) {
  struct stat info {};
  return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
         (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace

bool IsPlainAbsolutePath(const std::string& path) {
  return !path.empty() && path.front() == '/' && HasOnlyPlainComponents(path);
}

bool IsPlainRelativePath(const std::string& path) {
  return !path.empty() && path.front() != '/' && path.front() != '\\' && HasOnlyPlainComponents(path);
}

Dialog& Dialog::CreateSingleton(std::unique_ptr<WindowHost> host, TransferContract& service,
                                TransferMonitorImpl& monitor, locale::SimpleLocale& locale,
                                const LaunchOptions& options, const UpdaterMessages& messages,
                                file::Filesystem& filesystem, DialogLauncher launcher) {
  std::lock_guard<std::mutex> held(singletonLock);
  if (singleton) throw std::logic_error("Dialog::CreateSingleton called multiple times");
  singleton.reset(
      new Dialog(std::move(host), service, monitor, locale, options, messages, filesystem, std::move(launcher)));
  return *singleton;
}

Dialog& Dialog::GetSingleton() {
  std::lock_guard<std::mutex> held(singletonLock);
  if (!singleton) throw std::logic_error("Dialog::GetSingleton called without CreateSingleton");
  return *singleton;
}

void Dialog::DestroySingleton() {
  std::unique_ptr<Dialog> ending;
  {
    std::lock_guard<std::mutex> held(singletonLock);
    ending = std::move(singleton);
  }
}

Dialog::Dialog(std::unique_ptr<WindowHost> host, TransferContract& service, TransferMonitorImpl& monitor,
               locale::SimpleLocale& locale, const LaunchOptions& options, const UpdaterMessages& messages,
               file::Filesystem& filesystem, DialogLauncher launcher)
    : host(std::move(host)),
      service(service),
      monitor(monitor),
      filesystem(filesystem),
      locale(locale),
      options(options),
      messages(messages),
      launcher(std::move(launcher)) {}

Dialog::~Dialog() { Close(); }

void Dialog::RunModal() {
  {
    std::lock_guard<std::mutex> held(lock);
    if (started) return;
    started = true;
  }
  host->RunModal(*this);
  std::lock_guard<std::mutex> held(lock);
  window = false;
  if (outcome == DialogOutcome::Open) outcome = DialogOutcome::Closed;
}

void Dialog::Close() {
  {
    std::lock_guard<std::mutex> held(lock);
    if (outcome == DialogOutcome::Open) outcome = DialogOutcome::Closed;
    if (!started || !window) return;
    window = false;
  }
  host->Send([this] { host->EndModal(); });
}

bool Dialog::IsOpen() const {
  std::lock_guard<std::mutex> held(lock);
  return outcome == DialogOutcome::Open;
}

DialogOutcome Dialog::Outcome() const {
  std::lock_guard<std::mutex> held(lock);
  return outcome;
}

std::string Dialog::DisplayName() const { return options.LocalizedDisplayName(locale.GetName()); }

void Dialog::ShowError(std::uint8_t kind) { ShowErrorBox(locale.Translate(messages.GetErrorText(kind))); }

void Dialog::ShowErrorBox(const std::string& text) {
  {
    std::lock_guard<std::mutex> held(lock);
    if (outcome != DialogOutcome::Open) return;  // one box, and none after a close
    outcome = DialogOutcome::ErrorShown;
  }
  host->MessageBox(locale.Format(messages.GetErrorTitle(), DisplayName()), text);
  Close();
}

std::string Dialog::BuildChildArguments() const {
  return updater::BuildChildArguments(options, locale.GetName(), skinRun);
}

void Dialog::OnInit() {
  {
    std::lock_guard<std::mutex> held(lock);
    window = true;
  }
  UpdateTexts();
  if (options.languages.empty()) {
    StartDownload();
  } else {
    ShowLanguageChoice();
  }
}

void Dialog::OnOk() {
  if (!mainTransferId.empty() || !IsOpen()) return;
  const int index = host->GetSelection();
  if (index >= 0 && static_cast<std::size_t>(index) < options.languages.size()) {
    locale.SetLocale(options.languages[static_cast<std::size_t>(index)].first);
  }
  UpdateTexts();
  StartDownload();
}

void Dialog::UpdateTexts() {
  host->SetTitle(locale.Format(messages.GetTitle(), DisplayName()));
  host->SetText(Control::StatusText, locale.FormatTimeRemaining(-1));
}

void Dialog::ShowLanguageChoice() {
  std::vector<std::string> names;
  for (const auto& language : options.languages) names.push_back(language.second);
  host->FillList(names, 0);
  for (Control shown : {Control::LanguageList, Control::OkButton, Control::LanguageLabel}) host->Show(shown, true);
  for (Control hidden : {Control::Progress, Control::StatusText}) host->Show(hidden, false);
}

void Dialog::StartDownload() {
  for (Control shown : {Control::Progress, Control::StatusText}) host->Show(shown, true);
  for (Control hidden : {Control::LanguageList, Control::OkButton, Control::LanguageLabel}) host->Show(hidden, false);
  const TransferStatus main = service.CreateTransfer(options.packagePartnerId, options.packageId);
  const TransferStatus skin = service.CreateTransfer(
      options.skinPartnerId, options.LocalizedSkinPackageIds(locale.GetName()), options.skinVersion);
  mainTransferId = main.transferId;
  skinTransferId = skin.transferId;
  // A transfer that could not be created would never report anything.
  for (const TransferStatus* created : {&main, &skin}) {
    if (created->error != TransferError::None || created->transferId.empty()) {
      ShowError(static_cast<std::uint8_t>(created->error != TransferError::None ? created->error
                                                                                 : TransferError::Internal));
      return;
    }
  }
  monitor.Monitor(mainTransferId, *this);
  monitor.Monitor(skinTransferId, *this);
}

void Dialog::OnProgress(const TransferStatus& status) {
  {
    std::lock_guard<std::mutex> held(lock);
    if (!started || !window || outcome != DialogOutcome::Open) return;
  }
  if (status.transferId != mainTransferId || status.state != TransferState::Transferring ||
      status.error != TransferError::None) {
    return;
  }
  const int percent =
      status.totalBytes == 0
          ? 0
          : static_cast<int>(std::clamp(static_cast<double>(status.transferredBytes) * 100 /
                                            static_cast<double>(status.totalBytes),
                                        0.0, 100.0));
  const std::string remaining = locale.FormatTimeRemaining(status.secondsRemaining);
  host->Send([&] {
    host->SetProgress(percent);
    host->SetText(Control::StatusText, remaining);
  });
}

void Dialog::OnInitialized(const TransferStatus& status) {
  if (!IsOpen()) return;
  const std::string destination =
      status.transferId == skinTransferId
          ? Join(options.skinBaseFolder, options.LocalizedSkinPackageIds(locale.GetName()))
          : options.stagingFolder;
  if (!IsPlainAbsolutePath(destination) || !filesystem.EnsureDirectoryQuietly(destination)) {
    ShowError(static_cast<std::uint8_t>(TransferError::StorageAccess));
    return;
  }
  service.StartTransfer(status.transferId, destination);
  monitor.Monitor(status.transferId, *this);
}

void Dialog::OnError(const TransferStatus& status) { OnFinished(status); }

void Dialog::OnFinished(const TransferStatus& status) {
  if (!IsOpen()) return;
  const bool isMain = status.transferId == mainTransferId;
  if (!isMain && status.transferId != skinTransferId) return;
  if (status.error != TransferError::None) {
    ShowError(static_cast<std::uint8_t>(status.error));
    return;
  }
  if (status.state != TransferState::Complete) {
    // Suspended, cancelled or gone without an error: nothing more will come.
    ShowError(static_cast<std::uint8_t>(TransferError::Internal));
    return;
  }
  (isMain ? mainDone : skinDone) = true;
  (isMain ? mainRun : skinRun) = status.run;
  if (!mainDone || !skinDone) return;
  // Complete transfers need no record: without this every run leaves two behind.
  service.CancelTransfer(mainTransferId, false);
  service.CancelTransfer(skinTransferId, false);
  if (Launch()) {
    {
      std::lock_guard<std::mutex> held(lock);
      if (outcome == DialogOutcome::Open) outcome = DialogOutcome::Launched;
    }
    Close();
  } else {
    ShowErrorBox(locale.Format(messages.GetLaunchFailedText(), DisplayName()));
  }
}

bool Dialog::Launch() {
  const std::string launching = locale.Format(messages.GetLaunchingText(), DisplayName());
  host->Send([&] {
    host->StartMarquee();
    host->Show(Control::Marquee, true);
    host->Show(Control::Progress, false);
    host->SetText(Control::StatusText, launching);
  });
  try {
    if (launcher.createShortcut) {
      launcher.createShortcut(Join(options.stagingFolder, "shortcuts"),
                              options.LocalizedChildPackageIds(locale.GetName()), options.programPath);
    }
    std::string run = mainRun;
    std::replace(run.begin(), run.end(), '\\', '/');
    if (!IsPlainAbsolutePath(options.stagingFolder) || !IsPlainRelativePath(run) ||
        !IsPrivateFolder(options.stagingFolder) || !launcher.run) {
      return false;
    }
    return launcher.run(Join(options.stagingFolder, run), BuildChildArguments(), options.runElevated);
  } catch (...) {
    return false;
  }
}

}  // namespace ombrix::updater
