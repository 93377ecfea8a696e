// The whole run sequence against a scripted transfer service, shown through the
// terminal front end writing plain lines into a file.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "deployment.h"
#include "fake_transfer_contract.h"
#include "support/temp_dir.h"
#include "updater/pellor/pellor_updater.h"
#include "updater/posix/terminal_host.h"

namespace ombrix::updater {
namespace {

using test::FakeTransferContract;

class UpdaterRunTest : public ::testing::Test {
 public:
  UpdaterRunTest() {
    options.stagingFolder = (dir.path() / "staging").string();
    options.skinBaseFolder = options.stagingFolder;
    options.packagePartnerId = "P";
    options.packageId = "main";
    options.skinPartnerId = "S";
    options.skinPackageIds = "skin";
    options.displayName = "Vesk";
    options.childPackageIds = "vesk";
    options.programPath = "/opt/pellor/pellor-update";
    contract.SetScript("main", FakeTransferContract::Completes("bin/app"));
    contract.SetScript("skin", FakeTransferContract::Completes("skin.dat"));
  }

  int Run() {
    const std::string outPath = (dir.path() / "out.txt").string();
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    UpdaterPlatform platform;
    platform.environment = Environment(std::map<std::string, std::string>{{"LANG", "C"}});
    platform.makeService = [this](const TransferSettings&) {
      return std::make_unique<test::ForwardingContract>(contract);
    };
    platform.makeHost = [&] { return std::make_unique<posix::TerminalHost>(platform.environment, out, -1, 0); };
    platform.launcher.run = [this](const std::string& path, const std::string& arguments, bool elevate) {
      launched.push_back(path + "|" + arguments + (elevate ? "|elevated" : ""));
      return launchAnswer;
    };
    platform.launcher.createShortcut = [this](const std::string& folder, const std::string& name,
                                              const std::string& target) {
      shortcuts.push_back(folder + "|" + name + "|" + target);
      return true;
    };
    const int code = pellor::PellorUpdater().Run(options, platform);
    ::close(out);
    std::ifstream in(outPath);
    output.assign(std::istreambuf_iterator<char>(in), {});
    return code;
  }

  test::TempDir dir;
  LaunchOptions options;
  FakeTransferContract contract;
  bool launchAnswer = true;
  std::vector<std::string> launched;
  std::vector<std::string> shortcuts;
  std::string output;
};

TEST_F(UpdaterRunTest, DownloadsBothPackagesErasesTheirRecordsAndLaunches) {
  options.runElevated = false;
  EXPECT_EQ(Run(), kExitLaunched);
  const std::string staging = options.stagingFolder;
  EXPECT_EQ(contract.Calls(),
            (std::vector<std::string>{"Create main ?", "Create skin ?", "Start id-main " + staging,
                                      "Start id-skin " + staging + "/skin", "Cancel id-main keep",
                                      "Cancel id-skin keep"}));
  ASSERT_EQ(launched.size(), 1u);
  EXPECT_EQ(launched[0], staging + "/bin/app| /id \"S\" /package \"vesk\" /name \"Vesk\" /folder \"\" /skin \"skin/skin.dat\"");
  EXPECT_EQ(shortcuts, std::vector<std::string>{staging + "/shortcuts|vesk|/opt/pellor/pellor-update"});
  // Title once, progress by tens, the texts as they change, no escape bytes.
  EXPECT_EQ(output,
            "Pellor Update (Vesk)\nCalculating time remaining\n0%\n2 minutes remaining\n50%\n"
            "Launching Pellor Update (Vesk)\n");
}

struct Failure {
  const char* name;
  std::function<void(UpdaterRunTest&)> arrange;
  std::string shown;  // the one box's text, after "Pellor Update (Vesk) Error: "
  bool launchTried;
};

class UpdaterFailureTest : public UpdaterRunTest, public ::testing::WithParamInterface<Failure> {};

TEST_P(UpdaterFailureTest, ShowsOneBoxAndEndsWithCodeOne) {
  GetParam().arrange(*this);
  EXPECT_EQ(Run(), kExitErrorShown);
  const std::string box = std::string("Pellor Update (Vesk) Error: ") + GetParam().shown + "\n";
  EXPECT_NE(output.find(box), std::string::npos) << output;
  EXPECT_EQ(output.find("Error: "), output.rfind("Error: ")) << "a second box: " << output;
  EXPECT_EQ(launched.size(), GetParam().launchTried ? 1u : 0u);
}

const std::string kGeneric =
    std::string("An unexpected error occurred. For more information please visit ") + deployment::kSupportHost;
const std::string kLaunchFailed = std::string("Pellor Update (Vesk) could not be launched. Please visit ") +
                                  deployment::kSupportHost + " for further assistance.";

INSTANTIATE_TEST_SUITE_P(
    Cases, UpdaterFailureTest,
    ::testing::Values(
        Failure{"SkinNetworkEvenAfterMainCompleted",
                [](UpdaterRunTest& t) { t.contract.SetScript("skin", FakeTransferContract::FailsWith(TransferError::Network)); },
                "Internet connection not established. Check the Internet connection and please try again.", false},
        Failure{"RetryableErrorEndsLikeAnyOther",
                [](UpdaterRunTest& t) {
                  t.contract.SetScript("main", FakeTransferContract::FailsWith(TransferError::InsufficientSpace,
                                                                               TransferState::Transferring, true));
                },
                "Not enough storage. Free some space and please try again.", false},
        Failure{"CreationFailureIsShownNotAwaited",
                [](UpdaterRunTest& t) {
                  auto script = FakeTransferContract::Completes("");
                  script.created = TransferStatus::CreationFailed();
                  t.contract.SetScript("skin", script);
                },
                kGeneric, false},
        Failure{"SuspendedWithoutErrorIsAnError",
                [](UpdaterRunTest& t) {
                  t.contract.SetScript("main", FakeTransferContract::FailsWith(TransferError::None, TransferState::Suspended));
                },
                kGeneric, false},
        Failure{"LaunchFailure", [](UpdaterRunTest& t) { t.launchAnswer = false; },
                kLaunchFailed,
                true},
        Failure{"RunPathEscapingTheStagingFolder",
                [](UpdaterRunTest& t) { t.contract.SetScript("main", FakeTransferContract::Completes("../../bin/sh")); },
                kLaunchFailed,
                false},
        Failure{"StagingFolderOthersCanWriteInto",
                [](UpdaterRunTest& t) {
                  std::filesystem::create_directories(t.options.stagingFolder);
                  std::filesystem::permissions(t.options.stagingFolder, std::filesystem::perms::all);
                },
                kLaunchFailed, false},
        Failure{"RelativeStagingFolder", [](UpdaterRunTest& t) { t.options.stagingFolder = "Tavrin/Pellor Update/Vesk"; },
                "Trouble writing to storage. Make sure the user account has sufficient permissions and please try "
                "again.",
                false},
        Failure{"SkinFolderEscapingTheStagingFolder",
                [](UpdaterRunTest& t) {
                  t.options.skinPackageIds = "../escape";
                  t.contract.SetScript("../escape", FakeTransferContract::Completes("skin.dat"));
                },
                "Trouble writing to storage. Make sure the user account has sufficient permissions and please try "
                "again.",
                false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(UpdaterRunTest, SecondUpdaterOnTheSameStagingFolderEndsAtOnce) {
  std::filesystem::create_directories(options.stagingFolder);
  const int held = ::open((options.stagingFolder + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
  EXPECT_EQ(Run(), kExitErrorShown);
  EXPECT_NE(output.find("already being downloaded"), std::string::npos) << output;
  EXPECT_TRUE(contract.Calls().empty());
  ::close(held);
  EXPECT_EQ(Run(), kExitLaunched);  // the lock ends with its holder
}

}  // namespace
}  // namespace ombrix::updater
