// The desktop window under a virtual X server (Xvfb), driven by a whole updater run.
#include "updater/posix/gtk_host.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <gdkmm/pixbuf.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <thread>

#include "deployment.h"
#include "fake_transfer_contract.h"
#include "support/temp_dir.h"
#include "support/wait.h"
#include "updater/pellor/pellor_updater.h"

extern char** environ;

namespace ombrix::updater::posix {
namespace {

// One X server for the whole test program: GTK connects once per process.
class VirtualDisplay {
 public:
  static bool Start() {
    static VirtualDisplay display;
    return display.ready;
  }

 private:
  VirtualDisplay() {
    int ready_pipe[2];
    if (::pipe(ready_pipe) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ready_pipe[1], 3);
    char* argv[] = {const_cast<char*>("Xvfb"), const_cast<char*>("-displayfd"), const_cast<char*>("3"),
                    const_cast<char*>("-nolisten"), const_cast<char*>("tcp"), const_cast<char*>("-screen"),
                    const_cast<char*>("0"), const_cast<char*>("640x480x24"), nullptr};
    const bool spawned = posix_spawnp(&server, "Xvfb", &actions, nullptr, argv, environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    ::close(ready_pipe[1]);
    // Xvfb writes its display number once it accepts connections.
    std::string number;
    pollfd fd{ready_pipe[0], POLLIN, 0};
    char c;
    while (spawned && ::poll(&fd, 1, 30000) == 1 && ::read(ready_pipe[0], &c, 1) == 1 && c != '\n') number += c;
    ::close(ready_pipe[0]);
    if (number.empty()) return;
    ::setenv("DISPLAY", (":" + number).c_str(), 1);
    ready = true;
  }
  ~VirtualDisplay() {
    if (server > 0) ::kill(server, SIGTERM);
  }
  pid_t server = -1;
  bool ready = false;
};

class GtkHostTest : public ::testing::Test {
 public:
  void SetUp() override {
    if (!VirtualDisplay::Start()) GTEST_SKIP() << "no Xvfb to show the window on";
    options.stagingFolder = (dir.path() / "staging").string();
    options.skinBaseFolder = options.stagingFolder;
    options.packageId = "main";
    options.skinPackageIds = "skin";
    options.displayName = "Vesk";
    contract.SetScript("main", test::FakeTransferContract::Completes("app"));
  }

  int Run(const std::function<bool()>& whileLaunched) {
    UpdaterPlatform platform;
    platform.environment = Environment(std::map<std::string, std::string>{{"LANG", "C"}});
    platform.makeService = [this](const TransferSettings&) {
      return std::make_unique<test::ForwardingContract>(contract);
    };
    platform.makeHost = [this] {
      auto made = std::make_unique<GtkHost>();
      host = made.get();
      host->AnswerMessageBoxes([this](const std::string& text) { boxes.push_back(text); });
      return made;
    };
    platform.launcher.run = [&](const std::string&, const std::string&, bool) { return whileLaunched(); };
    return pellor::PellorUpdater().Run(options, platform);
  }

  test::TempDir dir;
  LaunchOptions options;
  test::FakeTransferContract contract;
  GtkHost* host = nullptr;
  std::vector<std::string> boxes;
};

// While the application runs, the window shows its title and a drawn bar and text.
TEST_F(GtkHostTest, TheWindowAppearsWithItsTitleAndBar) {
  const std::string shot = (dir.path() / "window.png").string();
  std::string title;
  EXPECT_EQ(Run([&] {
              title = host->Title();
              return host->SaveScreenshot(shot);
            }),
            kExitLaunched);
  EXPECT_EQ(title, "Pellor Update (Vesk)");
  const auto pixels = Gdk::Pixbuf::create_from_file(shot);
  ASSERT_GE(pixels->get_width(), 300);
  // Count the pixels that differ from the window's background (top-left corner).
  const guint8* data = pixels->get_pixels();
  const int stride = pixels->get_rowstride();
  const int channels = pixels->get_n_channels();
  std::size_t drawn = 0;
  for (int y = 0; y < pixels->get_height(); ++y) {
    for (int x = 0; x < pixels->get_width(); ++x) {
      const guint8* p = data + y * stride + x * channels;
      drawn += p[0] != data[0] || p[1] != data[1] || p[2] != data[2];
    }
  }
  EXPECT_GT(drawn, 500u) << "an empty window";
  EXPECT_TRUE(boxes.empty());
}

TEST_F(GtkHostTest, AnErrorShowsOneMessageBoxAndEndsTheRun) {
  contract.SetScript("skin", test::FakeTransferContract::FailsWith(TransferError::Network));
  EXPECT_EQ(Run([] { return true; }), kExitErrorShown);
  EXPECT_EQ(boxes, std::vector<std::string>{
                       "Internet connection not established. Check the Internet connection and please try again."});
}

// Not a check: with OMBRIX_SCREENSHOT=<png> set (scripts/screenshot), draws the
// window in the middle of a download for the README.
TEST(GtkHostScreenshot, ForTheReadme) {
  const char* path = std::getenv("OMBRIX_SCREENSHOT");
  if (!path || !VirtualDisplay::Start()) GTEST_SKIP() << "OMBRIX_SCREENSHOT not set";
  GtkHost host;
  struct Events : WindowEvents {
    GtkHost& host;
    explicit Events(GtkHost& host) : host(host) {}
    void OnInit() override {
      host.SetTitle("Pellor Update (Pellor)");
      for (Control hidden : {Control::LanguageList, Control::OkButton, Control::LanguageLabel}) host.Show(hidden, false);
      host.Show(Control::Progress, true);
      host.SetProgress(42);
      host.SetText(Control::StatusText, "2 minutes remaining");
    }
    void OnOk() override {}
  } events(host);
  bool saved = false;
  std::thread shooter([&] {
    // The first send runs once the window is up and drawn.
    test::WaitUntil([&] { return host.Send([] {}); });
    test::WaitUntil([&] { return saved = host.SaveScreenshot(path); });
    host.Send([&] { host.EndModal(); });
  });
  host.RunModal(events);
  shooter.join();
  EXPECT_TRUE(saved);
}

}  // namespace
}  // namespace ombrix::updater::posix
