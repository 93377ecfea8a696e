#include "updater/posix/terminal_host.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace ombrix::updater::posix {

namespace {

// The loop's wake-up pipe, for the signal handlers.
std::atomic<int> signalFd{-1};

void OnSignal(int number) {
  const int saved = errno;
  const char note = number == SIGINT ? 'i' : 't';
  const int fd = signalFd.load();
  if (fd >= 0 && ::write(fd, &note, 1) < 0) {
    // Nothing to do in a signal handler; the pipe is only full when wake-ups are pending.
  }
  errno = saved;
}

bool IsWide(char32_t c) {
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF && c != 0x303F) ||
         (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
         (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

bool IsCombining(char32_t c) {
  return (c >= 0x0300 && c <= 0x036F) || c == 0x0E31 || (c >= 0x0E34 && c <= 0x0E3A) ||
         (c >= 0x0E47 && c <= 0x0E4E) || (c >= 0x200B && c <= 0x200F) || (c >= 0xFE00 && c <= 0xFE0F);
}

// Decodes one UTF-8 character at `at`; a malformed byte counts as one character.
char32_t Decode(const std::string& text, std::size_t& at) {
  const auto byte = static_cast<unsigned char>(text[at]);
  const int length = byte < 0x80 ? 1 : (byte >> 5) == 6 ? 2 : (byte >> 4) == 14 ? 3 : (byte >> 3) == 30 ? 4 : 1;
  if (length == 1 || at + length > text.size()) {
    ++at;
    return byte;
  }
  char32_t c = byte & (0x7F >> length);
  for (int i = 1; i < length; ++i) c = (c << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3F);
  at += length;
  return c;
}

std::size_t Width(char32_t c) { return IsCombining(c) ? 0 : IsWide(c) ? 2 : 1; }

}  // namespace

std::size_t DisplayWidth(const std::string& text) {
  std::size_t width = 0;
  for (std::size_t at = 0; at < text.size();) width += Width(Decode(text, at));
  return width;
}

std::string FitToWidth(const std::string& text, std::size_t columns) {
  std::size_t width = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t next = at;
    const std::size_t w = Width(Decode(text, next));
    if (width + w > columns) break;
    width += w;
    at = next;
  }
  return text.substr(0, at);
}

TerminalHost::TerminalHost(const Environment& environment, int outFd, int inFd, int interactiveMode)
    : out(outFd),
      in(inFd),
      interactive(interactiveMode >= 0 ? interactiveMode != 0 : ::isatty(outFd) && ::isatty(inFd)),
      colour(interactive && !environment.Get("NO_COLOR") && environment.Get("TERM").value_or("") != "dumb") {
  if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) wake[0] = wake[1] = -1;
}

TerminalHost::~TerminalHost() {
  RestoreMode();
  for (int fd : wake) {
    if (fd >= 0) ::close(fd);
  }
}

bool TerminalHost::OnLoopThread() const { return running && loopThread == std::this_thread::get_id(); }

void TerminalHost::Write(const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t wrote = ::write(out, text.data() + done, text.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return;  // a closed stderr must not stop the download
    done += static_cast<std::size_t>(wrote);
  }
}

void TerminalHost::EnterRawMode() {
  if (rawMode || !interactive || ::tcgetattr(in, &saved) != 0) return;
  termios raw = saved;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);  // keys one at a time; Ctrl+C stays a signal
  raw.c_cc[VMIN] = 0;
  raw.c_cc[VTIME] = 0;
  if (::tcsetattr(in, TCSANOW, &raw) == 0) {
    rawMode = true;
    Write("\033[?25l");
  }
}

void TerminalHost::RestoreMode() {
  if (!rawMode) return;
  ::tcsetattr(in, TCSANOW, &saved);
  rawMode = false;
  Write("\033[?25h");
}

void TerminalHost::RunModal(WindowEvents& events) {
  {
    std::lock_guard<std::mutex> held(lock);
    if (running || ended) return;
    running = true;
    loopThread = std::this_thread::get_id();
  }
  struct sigaction action {}, oldInt {}, oldTerm {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  signalFd = wake[1];
  ::sigaction(SIGINT, &action, &oldInt);
  ::sigaction(SIGTERM, &action, &oldTerm);
  // Whatever way the loop ends, the terminal and the signals are given back.
  struct Restore {
    TerminalHost& host;
    struct sigaction oldInt, oldTerm;
    ~Restore() {
      host.RestoreMode();
      if (host.drawnLines > 0) host.Write("\n");
      host.drawnLines = 0;
      ::sigaction(SIGINT, &oldInt, nullptr);
      ::sigaction(SIGTERM, &oldTerm, nullptr);
      signalFd = -1;
      std::lock_guard<std::mutex> held(host.lock);
      host.running = false;
      host.ended = true;
      host.calls.clear();
      host.called.notify_all();
    }
  } restore{*this, oldInt, oldTerm};

  EnterRawMode();
  events.OnInit();
  Draw();
  while (!endRequested) {
    if (okPending) {
      okPending = false;
      events.OnOk();
      continue;
    }
    pollfd fds[2] = {{wake[0], POLLIN, 0}, {in, POLLIN, 0}};
    const int count = ::poll(fds, rawMode ? 2 : 1, -1);
    if (count < 0 && errno != EINTR) break;
    char notes[64];
    ssize_t got;
    while ((got = ::read(wake[0], notes, sizeof notes)) > 0) {
      for (ssize_t i = 0; i < got; ++i) {
        // Ctrl+C belongs to the application while it runs.
        if (notes[i] == 't' || (notes[i] == 'i' && !marquee)) endRequested = true;
      }
    }
    RunCalls();
    if (rawMode && (fds[1].revents & POLLIN)) {
      char keys[16];
      const ssize_t n = ::read(in, keys, sizeof keys);
      // An escape sequence (arrow keys) arrives whole; only a lone Esc cancels.
      if (n == 1 || (n > 1 && keys[0] != '\033')) {
        for (ssize_t i = 0; i < n; ++i) HandleKey(keys[i], events);
      }
    }
  }
}

void TerminalHost::RunCalls() {
  for (;;) {
    Call* next;
    {
      std::lock_guard<std::mutex> held(lock);
      if (calls.empty()) return;
      next = calls.front();
      calls.pop_front();
    }
    (*next->call)();
    if (marquee && !handedOver) {
      // The launching text is up: the application may use the terminal from now on,
      // so leave it a sane one and stop drawing.
      RestoreMode();
      if (drawnLines > 0) Write("\n");
      drawnLines = 0;
      handedOver = true;
    }
    std::lock_guard<std::mutex> held(lock);
    next->done = true;
    called.notify_all();
  }
}

bool TerminalHost::Send(const std::function<void()>& call) {
  std::unique_lock<std::mutex> held(lock);
  if (running && loopThread == std::this_thread::get_id()) {
    held.unlock();
    call();
    return true;
  }
  if (!running) return false;
  Call entry{&call};
  calls.push_back(&entry);
  const char note = 'c';
  if (::write(wake[1], &note, 1) < 0) {
    // A full pipe already holds a wake-up.
  }
  called.wait(held, [&] { return entry.done || !running; });
  return entry.done;
}

void TerminalHost::HandleKey(char key, WindowEvents& events) {
  if (choosing) {
    if (key >= '1' && key <= '9' && static_cast<std::size_t>(key - '1') < items.size()) {
      selection = key - '1';
      Draw();
    } else if (key == '\r' || key == '\n') {
      choosing = false;
      events.OnOk();
    }
  }
  if ((key == 'q' || key == '\033') && !marquee) endRequested = true;
}

void TerminalHost::MessageBox(const std::string& boxTitle, const std::string& text) {
  const bool onLoop = [&] {
    std::lock_guard<std::mutex> held(lock);
    return OnLoopThread();
  }();
  if (!onLoop && Send([&] { MessageBox(boxTitle, text); })) return;
  Clear();
  if (interactive) {
    Write((colour ? "\033[1;31m" : "") + boxTitle + (colour ? "\033[0m" : "") + "\n" + text +
          "\nPress Enter to continue.\n");
    WaitForAcknowledge();
  } else {
    Write(boxTitle + ": " + text + "\n");
  }
}

void TerminalHost::WaitForAcknowledge() {
  for (;;) {
    pollfd fd{in, POLLIN, 0};
    if (::poll(&fd, 1, -1) < 0 && errno != EINTR) return;
    char key;
    const ssize_t n = ::read(in, &key, 1);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0 || key == '\n' || key == '\r' || key == 'q' || key == '\033') return;
  }
}

void TerminalHost::SetTitle(const std::string& text) {
  if (text == title) return;
  title = text;
  if (!interactive) Write(title + "\n");
  Draw();
}

void TerminalHost::Show(Control control, bool shown) {
  switch (control) {
    case Control::OkButton:
      choosing = shown;
      if (shown && !interactive) okPending = true;  // no one to ask: the default language stays
      break;
    case Control::Progress: progressShown = shown; break;
    case Control::Marquee: marquee = marquee || shown; break;
    default: break;
  }
  Draw();
}

void TerminalHost::SetText(Control control, const std::string& text) {
  if (control != Control::StatusText || text == status) return;
  status = text;
  if (!interactive) Write(status + "\n");
  Draw();
}

void TerminalHost::SetProgress(int value) {
  percent = std::clamp(value, 0, 100);
  if (!interactive && percent / 10 > lastPrintedDecile) {
    lastPrintedDecile = percent / 10;
    Write(std::to_string(lastPrintedDecile * 10) + "%\n");
  }
  Draw();
}

void TerminalHost::StartMarquee() {
  marquee = true;
  Draw();
}

void TerminalHost::FillList(const std::vector<std::string>& list, int selected) {
  items = list;
  selection = selected;
  Draw();
}

int TerminalHost::GetSelection() { return interactive ? selection : -1; }

void TerminalHost::EndModal() { endRequested = true; }

void TerminalHost::Clear() {
  if (drawnLines == 0) return;
  std::string text = "\r";
  if (drawnLines > 1) text += "\033[" + std::to_string(drawnLines - 1) + "A";
  Write(text + "\033[J");
  drawnLines = 0;
}

void TerminalHost::Draw() {
  if (!interactive || handedOver) return;
  winsize size{};
  const std::size_t columns = ::ioctl(out, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 ? size.ws_col - 1 : 79;
  std::vector<std::string> lines;
  lines.push_back(title);
  if (choosing) {
    lines.push_back("Please select the language for your download:");
    for (std::size_t i = 0; i < items.size(); ++i) {
      const bool chosen = static_cast<int>(i) == selection;
      lines.push_back(std::string(chosen ? " > " : "   ") + std::to_string(i + 1) + ") " + items[i]);
    }
    lines.push_back("Press a number to choose, Enter to confirm.");
  } else if (marquee) {
    lines.push_back(status);
  } else if (progressShown) {
    const int barWidth = static_cast<int>(std::min<std::size_t>(30, columns / 3));
    const int filled = percent * barWidth / 100;
    std::string bar = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                      std::string(static_cast<std::size_t>(barWidth - filled), '-') + "]";
    if (colour) bar = "\033[32m" + bar + "\033[0m";
    lines.push_back(bar + " " + std::to_string(percent) + "%  " +
                    FitToWidth(status, columns > static_cast<std::size_t>(barWidth) + 8 ? columns - barWidth - 8 : 0));
  }
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    text += (i ? "\n" : "") + (i == 0 || lines[i].find('\033') == std::string::npos ? FitToWidth(lines[i], columns)
                                                                                     : lines[i]);
  }
  Clear();
  Write(text);
  drawnLines = lines.size();
}

}  // namespace ombrix::updater::posix
