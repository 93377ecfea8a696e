// The terminal front end on a real pseudo-terminal.
#include "updater/posix/terminal_host.h"

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>

namespace ombrix::updater::posix {
namespace {

class Events : public WindowEvents {
 public:
  std::function<void()> onInit, onOk;
  void OnInit() override { onInit(); }
  void OnOk() override { onOk(); }
};

class TerminalHostTest : public ::testing::Test {
 public:
  TerminalHostTest() {
    winsize size{};
    size.ws_col = 100;
    size.ws_row = 30;
    EXPECT_EQ(::openpty(&master, &slave, nullptr, nullptr, &size), 0);
    ::tcgetattr(slave, &before);
  }
  ~TerminalHostTest() override {
    ::close(master);
    ::close(slave);
  }
  std::string Screen() {
    std::string text;
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(master, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(got));
    return text;
  }
  int master = -1;
  int slave = -1;
  termios before{};
};

TEST_F(TerminalHostTest, LanguageByKeyThenProgressAndTheTerminalComesBackAsItWas) {
  TerminalHost host(Environment(std::map<std::string, std::string>{{"TERM", "xterm"}, {"NO_COLOR", "1"}}), slave,
                    slave);
  Events events;
  int chosen = -2;
  events.onInit = [&] {
    host.SetTitle("Pellor Update (Vesk)");
    host.FillList({"English", "日本語"}, 0);
    host.Show(Control::OkButton, true);
    ASSERT_EQ(::write(master, "2\r", 2), 2);  // typed ahead; read once the loop runs
  };
  events.onOk = [&] {
    chosen = host.GetSelection();
    host.Show(Control::OkButton, false);
    host.Show(Control::Progress, true);
    host.SetProgress(40);
    host.SetText(Control::StatusText, "2 minutes remaining");
    host.EndModal();
  };
  host.RunModal(events);

  EXPECT_EQ(chosen, 1);
  const std::string screen = Screen();
  EXPECT_NE(screen.find(" > 2) 日本語"), std::string::npos) << screen;
  EXPECT_NE(screen.find("[############------------------] 40%  2 minutes remaining"), std::string::npos) << screen;
  EXPECT_EQ(screen.find("\033[3"), std::string::npos) << "colour despite NO_COLOR";
  EXPECT_NE(screen.rfind("\033[?25h"), std::string::npos) << "cursor not shown again";
  termios after{};
  ::tcgetattr(slave, &after);
  EXPECT_EQ(after.c_lflag, before.c_lflag);
}

TEST_F(TerminalHostTest, InterruptClosesTheDialogAndGivesTheSignalBack) {
  TerminalHost host(Environment(), slave, slave);
  Events events;
  events.onInit = [] { ::raise(SIGINT); };
  events.onOk = [] {};
  host.RunModal(events);  // returns: the interrupt is the cancel command
  struct sigaction now {};
  ::sigaction(SIGINT, nullptr, &now);
  EXPECT_EQ(now.sa_handler, SIG_DFL);
  EXPECT_FALSE(host.Send([] {}));  // the loop has ended
}

TEST(DisplayWidth, WideAndCombiningCharactersAndCutsOnWholeCharacters) {
  EXPECT_EQ(DisplayWidth("abc"), 3u);
  EXPECT_EQ(DisplayWidth("日本語"), 6u);
  EXPECT_EQ(DisplayWidth("ที่"), 1u);  // a consonant with two marks above
  EXPECT_EQ(FitToWidth("日本語", 5), "日本");
  EXPECT_EQ(FitToWidth("aé日", 3), "aé");
}

}  // namespace
}  // namespace ombrix::updater::posix
