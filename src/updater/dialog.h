// The progress dialog: the driver of the whole download. It optionally lets the user
// choose a language, starts the main and the skin package as soon as each is
// initialized, shows the main package's progress, and when both are complete
// launches the application and waits for it. Any error ends it with a message box.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "file/filesystem.h"
#include "transfer/transfer_contract.h"
#include "updater/launch_options.h"
#include "updater/locale/simple_locale.h"
#include "updater/transfer_monitor.h"
#include "updater/updater_messages.h"
#include "updater/window_host.h"

namespace ombrix::updater {

// How the dialog starts the application and makes its shortcut.
struct DialogLauncher {
  // Starts `path` with the argument string and waits for it to exit; false when it
  // could not be started or waited for.
  std::function<bool(const std::string& path, const std::string& arguments, bool elevate)> run;
  // Creates or replaces the shortcut `name` in `folder`, pointing at `target`.
  std::function<bool(const std::string& folder, const std::string& name, const std::string& target)> createShortcut;
};

// How the dialog ended.
enum class DialogOutcome { Open, Launched, ErrorShown, Closed };

// Guarantees: after an error box or a close, later callbacks do nothing (no second
// box, no transfer started); every file path it launches or creates lies below the
// staging folder.
class Dialog : public TransferMonitorCallback, private WindowEvents {
 public:
  // Throws std::logic_error "Dialog::CreateSingleton called multiple times".
  static Dialog& CreateSingleton(std::unique_ptr<WindowHost> host, TransferContract& service,
                                 TransferMonitorImpl& monitor, locale::SimpleLocale& locale,
                                 const LaunchOptions& options, const UpdaterMessages& messages,
                                 file::Filesystem& filesystem, DialogLauncher launcher);
  // Throws std::logic_error "Dialog::GetSingleton called without CreateSingleton".
  static Dialog& GetSingleton();
  // Closes and destroys the dialog; the holder does this at program exit.
  static void DestroySingleton();

  ~Dialog() override;

  // Shows the window once and returns when it has ended.
  void RunModal();
  void Close();
  void ShowError(std::uint8_t kind);
  void ShowErrorBox(const std::string& text);
  std::string BuildChildArguments() const;
  DialogOutcome Outcome() const;

  void OnProgress(const TransferStatus& status) override;
  void OnInitialized(const TransferStatus& status) override;
  void OnError(const TransferStatus& status) override;
  void OnFinished(const TransferStatus& status) override;

 private:
  Dialog(std::unique_ptr<WindowHost> host, TransferContract& service, TransferMonitorImpl& monitor,
         locale::SimpleLocale& locale, const LaunchOptions& options, const UpdaterMessages& messages,
         file::Filesystem& filesystem, DialogLauncher launcher);

  void OnInit() override;
  void OnOk() override;
  void UpdateTexts();
  void ShowLanguageChoice();
  void StartDownload();
  bool Launch();
  // False once the dialog was closed; holds the lock only to read.
  bool IsOpen() const;
  std::string DisplayName() const;

  mutable std::mutex lock;  // guards started, window, outcome
  std::unique_ptr<WindowHost> host;
  TransferContract& service;
  TransferMonitorImpl& monitor;
  file::Filesystem& filesystem;
  locale::SimpleLocale& locale;
  const LaunchOptions options;
  const UpdaterMessages& messages;
  DialogLauncher launcher;
  bool started = false;
  bool window = false;
  DialogOutcome outcome = DialogOutcome::Open;
  std::string mainRun;
  std::string skinRun;
  std::string mainTransferId;
  std::string skinTransferId;
  bool mainDone = false;
  bool skinDone = false;
};

// An absolute folder without "." or ".." components.
bool IsPlainAbsolutePath(const std::string& path);
// A relative path without "." or ".." components ("\" counts as a separator).
bool IsPlainRelativePath(const std::string& path);

}  // namespace ombrix::updater
