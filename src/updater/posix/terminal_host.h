// The dialog on a terminal, for machines without a display.
//
// On a terminal (stderr and stdin are TTYs): one redrawn block on stderr: the title,
// a bar with the percentage and the status text; once the application is launched
// the block is left as it stands and the terminal is the application's; the
// language choice as a numbered list (digit to choose, Enter to confirm); an error
// waits for Enter. Ctrl+C, Esc, q and SIGTERM close the dialog, except while the
// launched application runs: then Ctrl+C is the application's. Colour only without
// NO_COLOR. The terminal's mode and cursor are restored on every way out.
//
// Otherwise (a pipe, a log, CI): plain lines: the title once, the progress every
// 10 %, each new status text; errors are printed and count as acknowledged; the
// language choice keeps the default language. No escape sequences.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <termios.h>
#include <thread>
#include <vector>

#include "common/environment.h"
#include "updater/window_host.h"

namespace ombrix::updater::posix {

// Columns a UTF-8 text takes on a terminal: East Asian wide characters count 2,
// combining marks (Thai vowels and tones among them) 0.
std::size_t DisplayWidth(const std::string& text);
// The longest prefix of `text` (whole characters) that fits in `columns`.
std::string FitToWidth(const std::string& text, std::size_t columns);

class TerminalHost : public WindowHost {
 public:
  // Writes to `outFd`, reads keys from `inFd`. `interactive` forces the terminal
  // behaviour on or off (tests); by default it is on when both are TTYs.
  TerminalHost(const Environment& environment, int outFd = 2, int inFd = 0, int interactive = -1);
  ~TerminalHost() override;

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

 private:
  struct Call {
    const std::function<void()>* call;
    bool done = false;
  };
  bool OnLoopThread() const;
  void RunCalls();
  void HandleKey(char key, WindowEvents& events);
  void Draw();
  void Write(const std::string& text);
  void Clear();
  void EnterRawMode();
  void RestoreMode();
  // Waits for Enter (or a cancel key) on a terminal; returns at once otherwise.
  void WaitForAcknowledge();

  const int out;
  const int in;
  const bool interactive;
  const bool colour;

  std::mutex lock;  // guards calls, running, loopThread
  std::condition_variable called;
  std::deque<Call*> calls;
  bool running = false;
  bool ended = false;
  std::thread::id loopThread;
  int wake[2] = {-1, -1};

  // State of the window; touched only on the loop thread.
  bool endRequested = false;
  std::string title;
  std::string status;
  std::vector<std::string> items;
  int selection = -1;
  bool choosing = false;
  bool okPending = false;
  bool progressShown = false;
  int percent = 0;
  int lastPrintedDecile = -1;
  bool marquee = false;
  bool handedOver = false;  // the launched application has the terminal
  std::size_t drawnLines = 0;
  bool rawMode = false;
  termios saved{};
};

}  // namespace ombrix::updater::posix
