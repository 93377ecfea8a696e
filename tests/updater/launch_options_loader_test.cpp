#include "updater/launch_options_loader.h"

#include <gtest/gtest.h>

#include <map>

#include "support/temp_dir.h"
#include "updater/posix/file_machine_store.h"

namespace ombrix::updater {
namespace {

class MapStringTable : public StringTable {
 public:
  std::string Load(unsigned id) const override {
    auto found = entries.find(id);
    return found == entries.end() ? "" : found->second;
  }
  std::map<unsigned, std::string> entries;
};

class MapMachineStore : public MachineStore {
 public:
  std::string ReadString(const std::string& path) const override {
    auto found = values.find(path);
    return found == values.end() ? "" : found->second;
  }
  std::map<std::string, std::string> values;
};

class LaunchOptionsLoaderTest : public ::testing::Test {
 protected:
  LaunchOptions Load(std::vector<std::string> arguments, std::string temporaryFolder = "/tmpdir") {
    LaunchOptionsLoader loader({strings, machine, std::move(arguments), std::move(temporaryFolder)});
    return loader.Load("Tavrin/Pellor Update/Vesk");
  }

  MapStringTable strings;
  MapMachineStore machine;
};

TEST_F(LaunchOptionsLoaderTest, ProgramPathAloneKeepsInitialValues) {
  LaunchOptions options = Load({"/opt/pellor/pellor-update"});
  EXPECT_EQ(options.programPath, "/opt/pellor/pellor-update");
  EXPECT_EQ(options.packageVersion, "?");
  EXPECT_EQ(options.skinVersion, "?");
  EXPECT_EQ(options.logLevel, -9);
  EXPECT_TRUE(options.runElevated);
  EXPECT_EQ(options.stagingFolder, "/tmpdir/Tavrin/Pellor Update/Vesk");
  EXPECT_EQ(options.skinBaseFolder, options.stagingFolder);
}

TEST_F(LaunchOptionsLoaderTest, NoArgumentsAtAllLeaveProgramPathEmpty) {
  EXPECT_EQ(Load({}).programPath, "");
}

TEST_F(LaunchOptionsLoaderTest, UnknownTemporaryFolderGivesBareSubpath) {
  EXPECT_EQ(Load({"p"}, "").stagingFolder, "Tavrin/Pellor Update/Vesk");
  EXPECT_EQ(Load({"p"}, "/tmpdir/").stagingFolder, "/tmpdir/Tavrin/Pellor Update/Vesk");
}

TEST_F(LaunchOptionsLoaderTest, LogValueFollowsUnsignedConversionRules) {
  struct Case {
    std::string argument;
    std::int32_t level;
  };
  for (const Case& c : std::vector<Case>{{"log=7", 7},
                                         {"log=12x", 12},
                                         {"log= \t+5", 5},
                                         {"log=-3", -3},
                                         {"log=4294967287", -9},  // 2^32 - 9
                                         {"log=4294967295", -1},
                                         {"log=0x10", 0},
                                         {"log=abc", -9},
                                         {"log=", -9},
                                         {"log=4294967296", -9},
                                         {"log=99999999999999999999999", -9}}) {
    EXPECT_EQ(Load({"p", c.argument}).logLevel, c.level) << c.argument;
  }
}

TEST_F(LaunchOptionsLoaderTest, BadLogValueStopsReadingLaterArguments) {
  LaunchOptions options =
      Load({"p", "packageVersion=1.0", "log=abc", "packageVersion=2.0", "skinVersion=3"});
  EXPECT_EQ(options.packageVersion, "1.0");
  EXPECT_EQ(options.skinVersion, "?");
  EXPECT_EQ(options.logLevel, -9);

  options = Load({"p", "log=5", "log=4294967296", "log=6"});
  EXPECT_EQ(options.logLevel, 5);
}

TEST_F(LaunchOptionsLoaderTest, PrefixesAreCaseSensitiveAndLaterArgumentsWin) {
  LaunchOptions options = Load({"p", "PackageVersion=9", "packageVersion=1", "packageVersion=",
                                "skinVersion=a", "skinVersion=b", "/log=3", "--log=4"});
  EXPECT_EQ(options.packageVersion, "");
  EXPECT_EQ(options.skinVersion, "b");
  EXPECT_EQ(options.logLevel, -9);
}

TEST_F(LaunchOptionsLoaderTest, ProgramPathItselfIsTestedAgainstThePrefixes) {
  EXPECT_EQ(Load({"log=3"}).logLevel, 3);
}

TEST_F(LaunchOptionsLoaderTest, StringEntriesFillTheirFields) {
  strings.entries = {{102, "manifests.example:81"}, {103, "pp"}, {104, "sp"}, {105, "cp"},
                     {106, "1.0"},  {107, "skin"},  {108, "pkg"}, {109, "Name"},
                     {110, "Folder"}, {112, "en=English;;de=Deutsch;bad"}, {113, "en"}};
  LaunchOptions options = Load({"p"});
  EXPECT_EQ(options.manifestHost, "manifests.example:81");
  EXPECT_EQ(options.packagePartnerId, "pp");
  EXPECT_EQ(options.skinPartnerId, "sp");
  EXPECT_EQ(options.childPackageIds, "cp");
  EXPECT_EQ(options.defaultVersion, "1.0");
  EXPECT_EQ(options.skinPackageIds, "skin");
  EXPECT_EQ(options.packageId, "pkg");
  EXPECT_EQ(options.displayName, "Name");
  EXPECT_EQ(options.folderName, "Folder");
  EXPECT_EQ(options.defaultLanguage, "en");
  EXPECT_EQ(options.languages, (LanguageList{{"en", "English"}, {"de", "Deutsch"}}));
}

TEST_F(LaunchOptionsLoaderTest, LongEntriesAreCutAt254Utf16Units) {
  strings.entries[109] = std::string(300, 'a');
  EXPECT_EQ(Load({"p"}).displayName.size(), 254u);
  // 253 ASCII characters leave room for one unit: a four-byte character needs two.
  strings.entries[109] = std::string(253, 'a') + "\xF0\x9F\x98\x80";
  EXPECT_EQ(Load({"p"}).displayName, std::string(253, 'a'));
  strings.entries[109] = std::string(253, 'a') + "\xC3\xA9" + "z";
  EXPECT_EQ(Load({"p"}).displayName, std::string(253, 'a') + "\xC3\xA9");
}

TEST_F(LaunchOptionsLoaderTest, ForcedPathMustBeAbsoluteAndLosesTrailingSeparators) {
  strings.entries[114] = "SOFTWARE\\Tavrin\\DownloadPath";
  struct Case {
    std::string value;
    std::string path;
  };
  for (const Case& c : std::vector<Case>{{"/data/games\\\\", "/data/games"},
                                         {"/data/games//", "/data/games"},
                                         {"/", ""},
                                         {"data/games", ""},
                                         {"C:\\Games\\\\", ""},
                                         {"", ""}}) {
    machine.values[strings.entries[114]] = c.value;
    LaunchOptions options = Load({"p"});
    EXPECT_EQ(options.forcedDownloadPath, c.path) << c.value;
    EXPECT_EQ(options.forceDownloadPath, !c.path.empty()) << c.value;
  }
}

TEST_F(LaunchOptionsLoaderTest, NoValuePathMeansNoStoreRead) {
  machine.values[""] = "/should/not/be/used";
  EXPECT_FALSE(Load({"p"}).forceDownloadPath);
}

class FileMachineStoreTest : public ::testing::Test {
 protected:
  test::TempDir root;
  posix::FileMachineStore store{root.str()};
};

TEST_F(FileMachineStoreTest, KeyPathBecomesFoldersAndValueAFile) {
  root.Write("SOFTWARE/Tavrin/DownloadPath", "/srv/games\n");
  EXPECT_EQ(store.ReadString("SOFTWARE\\Tavrin\\DownloadPath"), "/srv/games");
  EXPECT_EQ(store.ReadString("SOFTWARE/Tavrin/DownloadPath"), "/srv/games");
  EXPECT_EQ(store.ReadString("SOFTWARE\\Tavrin\\Missing"), "");
  EXPECT_EQ(store.ReadString("SOFTWARE\\Other\\DownloadPath"), "");
}

TEST_F(FileMachineStoreTest, OddValuesReadAsNothing) {
  std::filesystem::create_directories(root.path() / "Key" / "Folder");
  EXPECT_EQ(store.ReadString("Key\\Folder"), "");
  root.Write("Key/Long", std::string(posix::kMaxValueUnits, 'x') + "y");
  EXPECT_EQ(store.ReadString("Key\\Long"), "");
  root.Write("Key/Exact", std::string(posix::kMaxValueUnits, 'x'));
  EXPECT_EQ(store.ReadString("Key\\Exact").size(), posix::kMaxValueUnits);
  root.Write("Key/Nul", std::string("/a\0/b", 5));
  EXPECT_EQ(store.ReadString("Key\\Nul"), "/a");
  root.Write("Key/Binary", "\xff\xfe/\x80");
  EXPECT_EQ(store.ReadString("Key\\Binary"), "\xff\xfe/\x80");
}

TEST_F(FileMachineStoreTest, KeyPathCannotLeaveTheRoot) {
  test::TempDir outside;
  outside.Write("secret", "/etc");
  std::filesystem::create_directories(root.path() / "Key");
  const std::string escape = "Key\\..\\..\\" + outside.path().filename().string() + "\\secret";
  EXPECT_EQ(store.ReadString(escape), "");
  EXPECT_EQ(store.ReadString("\\Key\\Value"), "");
  EXPECT_EQ(store.ReadString(""), "");
}

TEST_F(FileMachineStoreTest, MissingRootReadsNothing) {
  posix::FileMachineStore missing(root.str() + "/does-not-exist");
  EXPECT_EQ(missing.ReadString("Key\\Value"), "");
}

}  // namespace
}  // namespace ombrix::updater
