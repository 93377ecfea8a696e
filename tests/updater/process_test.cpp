#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "file/posix/filesystem_impl.h"
#include "support/temp_dir.h"
#include "updater/launch_options.h"
#include "updater/process/command_line.h"
#include "updater/process/posix/posix_process.h"
#include "updater/shortcut/posix/desktop_shortcut.h"

namespace ombrix::process {
namespace {

using Arguments = std::vector<std::string>;

TEST(CommandLine, SplitsByTheQuotingRules) {
  const std::pair<const char*, Arguments> cases[] = {
      {"", {}},
      {"  a\tb  ", {"a", "b"}},
      {R"("a b" c)", {"a b", "c"}},
      {R"("")", {""}},
      {R"(a"b c"d)", {"ab cd"}},
      {R"(a\\b)", {R"(a\\b)"}},           // backslashes not before a quote are literal
      {R"(a\\"b c")", {R"(a\b c)"}},      // 2n before a quote: n, and the quote groups
      {R"(a\\\"b)", {R"(a\"b)"}},         // 2n+1: n and a literal quote
      {R"("a""b")", {R"(a"b)"}},          // "" inside a group is a quote
      {R"("C:\dir\\" x)", {R"(C:\dir\)", "x"}}};
  for (const auto& [text, expected] : cases) EXPECT_EQ(SplitCommandLine(text), expected) << text;
}

TEST(CommandLine, QuotingRoundTripsAnyValueAndLeavesPlainValuesAsBefore) {
  const Arguments values = {"", "plain", "two words", R"(quote"inside)", R"(trailing\)", R"(both\"\\)", "\"",
                            "\\", "tab\there", "ünïcödé 日本"};
  std::string line;
  for (const std::string& value : values) line += " " + QuoteArgument(value);
  EXPECT_EQ(SplitCommandLine(line), values);
  EXPECT_EQ(QuoteArgument(R"(C:\a b\c)"), R"("C:\a b\c")");
}

TEST(CommandLine, AHostileVersionStaysOneArgumentOfTheApplication) {
  updater::LaunchOptions options;
  options.packageVersion = R"(1" /forcePath "x\)";
  const Arguments arguments = SplitCommandLine(updater::BuildChildArguments(options, "", ""));
  const auto at = std::find(arguments.begin(), arguments.end(), "/version");
  ASSERT_NE(at, arguments.end());
  EXPECT_EQ(*(at + 1), options.packageVersion);
  EXPECT_EQ(std::count(arguments.begin(), arguments.end(), "/forcePath"), 0);
}

class ProcessTest : public ::testing::Test {
 public:
  // A program that writes its working folder, its arguments and whether descriptor
  // `fd` is open into report.txt next to it.
  std::string Program(int fd) {
    const std::string path = (dir.path() / "bin" / "app.sh").string();
    dir.Write("bin/app.sh", "#!/bin/sh\n{ pwd; for a in \"$@\"; do echo \"[$a]\"; done; "
                            "[ -e /proc/self/fd/" + std::to_string(fd) + " ] && echo leaked; } > report.txt\n");
    ::chmod(path.c_str(), 0700);
    return path;
  }
  std::string Report() {
    std::ifstream in(dir.path() / "bin" / "report.txt");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  test::TempDir dir;
};

TEST_F(ProcessTest, StartsInItsFolderWithSplitArgumentsAndNothingInheritedAndIsWaitedFor) {
  const int open = ::open("/dev/null", O_RDONLY);  // deliberately without O_CLOEXEC
  ASSERT_GE(open, 3);
  posix::PosixProcess process(Program(open));
  EXPECT_TRUE(process.Run(true, false, R"( /name "a b" /q "c\"d" "")"));
  ::close(open);
  EXPECT_EQ(Report(), (dir.path() / "bin").string() + "\n[/name]\n[a b]\n[/q]\n[c\"d]\n[]\n");
  EXPECT_FALSE(posix::PosixProcess((dir.path() / "missing").string()).Run(true, false, ""));
}

TEST_F(ProcessTest, DesktopShortcutIsWrittenReplacedAndRefusedForBadNames) {
  file::posix::FilesystemImpl filesystem;
  const std::string folder = (dir.path() / "shortcuts").string();
  shortcut::posix::DesktopShortcut entry("Vesk", filesystem, folder);
  EXPECT_TRUE(entry.Create("/opt/old"));
  EXPECT_TRUE(entry.Create("/opt/Pellor $HOME \"x\" 100%/pellor-update"));
  EXPECT_EQ(std::filesystem::status(folder + "/Vesk.desktop").permissions() & std::filesystem::perms::owner_exec,
            std::filesystem::perms::owner_exec);
  std::ifstream in(folder + "/Vesk.desktop");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}),
            "[Desktop Entry]\nType=Application\nName=Vesk\n"
            "Exec=\"/opt/Pellor \\\\$HOME \\\\\"x\\\\\" 100%%/pellor-update\"\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);  // no temporary left
  for (const char* bad : {"", ".", "..", "a/b"}) {
    EXPECT_FALSE(shortcut::posix::DesktopShortcut(bad, filesystem, folder).Create("/x")) << bad;
  }
  EXPECT_FALSE(shortcut::posix::DesktopShortcut(std::string("a\0b", 3), filesystem, folder).Create("/x"));

  dir.Write("shortcuts/Site.url", "[InternetShortcut]\n");
  EXPECT_TRUE(shortcut::posix::DesktopShortcut("Site", filesystem, folder).CopyTo(dir.str(), "Copy"));
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "Copy.url"));
  EXPECT_TRUE(entry.RemoveFrom(folder, "Site"));
  EXPECT_FALSE(std::filesystem::exists(folder + "/Site.url"));
}

}  // namespace
}  // namespace ombrix::process
