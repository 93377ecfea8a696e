// The dialog as a desktop window (GTK 3): a title, the language choice (a drop-down
// and OK), a progress bar with the status text below it, a pulsing bar while the
// application runs, and error message boxes. Closing the window is the cancel
// command. Calls from other threads run on the GTK main loop and wait for it; once
// the loop has ended they fail at once.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "common/environment.h"
#include "updater/window_host.h"

namespace Gtk {
class Window;
}

namespace ombrix::updater::posix {

// A display to open a window on: DISPLAY or WAYLAND_DISPLAY set and not empty.
bool HasDisplay(const Environment& environment);

// The window host for this environment: the desktop window when there is a display,
// the terminal otherwise.
std::unique_ptr<WindowHost> MakeWindowHost(const Environment& environment);

class GtkHost : public WindowHost {
 public:
  GtkHost();
  ~GtkHost() override;

  void RunModal(WindowEvents& events) override;
  bool Send(const std::function<void()>& call) override;
  void MessageBox(const std::string& title, const std::string& text) override;
  void SetTitle(const std::string& title) override;
  void Show(Control control, bool shown) override;
  void SetText(Control control, const std::string& text) override;
  void SetProgress(int percent) override;
  void StartMarquee() override;
  void FillList(const std::vector<std::string>& items, int selected) override;
  int GetSelection() override;
  void EndModal() override;

  // For tests and screenshots: answer every message box with OK once it is shown,
  // recording its text; and write the window as it looks now to a PNG file.
  void AnswerMessageBoxes(std::function<void(const std::string& text)> seen);
  bool SaveScreenshot(const std::string& pngPath);
  // The window's title and whether the progress bar is showing (on the loop thread).
  std::string Title();

 private:
  struct Widgets;
  struct Pending;
  bool OnLoopThread();

  // The loop's state, shared with the calls queued on the main loop: a call the loop
  // never ran may still be queued after this host is gone, and must find it alive.
  struct Shared {
    std::mutex lock;  // guards running, loopThread and every Pending
    std::condition_variable ran;
    bool running = false;
    std::thread::id loopThread;
  };
  const std::shared_ptr<Shared> shared = std::make_shared<Shared>();
  std::function<void(const std::string&)> answer;
  std::unique_ptr<Widgets> widgets;  // exists while RunModal runs
};

}  // namespace ombrix::updater::posix
