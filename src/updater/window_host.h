// What the progress dialog needs from a window system. The dialog's logic never sees
// which host it runs on: a desktop window, a terminal, or a test's script.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace ombrix::updater {

enum class Control {
  Progress = 1001,       // progress bar, 0-100
  StatusText = 1002,     // time remaining, then the launching text
  Marquee = 1003,        // busy indicator while the application runs
  LanguageList = 1004,
  OkButton = 1005,
  LanguageLabel = 1006,  // "Please select the language for your download:"
};

// The dialog's reactions to its window, called on the window's thread.
class WindowEvents {
 public:
  virtual ~WindowEvents() = default;
  virtual void OnInit() = 0;
  // The OK button of the language choice.
  virtual void OnOk() = 0;
};

// Guarantees: every operation but Send and MessageBox is called on the thread that
// runs RunModal, while it runs.
class WindowHost {
 public:
  virtual ~WindowHost() = default;

  // Creates the window, calls events.OnInit, runs the loop until EndModal or the
  // user's cancel (closing the window, Ctrl+C), then removes the window.
  virtual void RunModal(WindowEvents& events) = 0;
  // Runs `call` on the window's thread and waits for it. False, without running it,
  // once the loop has ended (or before it started).
  virtual bool Send(const std::function<void()>& call) = 0;
  // Shows an error message with a single OK and waits until it is acknowledged.
  // Callable from any thread, with or without a window.
  virtual void MessageBox(const std::string& title, const std::string& text) = 0;

  virtual void SetTitle(const std::string& title) = 0;
  // Shown controls are visible and enabled; hidden ones neither.
  virtual void Show(Control control, bool shown) = 0;
  virtual void SetText(Control control, const std::string& text) = 0;
  virtual void SetProgress(int percent) = 0;
  virtual void StartMarquee() = 0;
  // Replaces the language list's items and selects `selected`.
  virtual void FillList(const std::vector<std::string>& items, int selected) = 0;
  // The selected item, or -1.
  virtual int GetSelection() = 0;
  virtual void EndModal() = 0;
};

}  // namespace ombrix::updater
