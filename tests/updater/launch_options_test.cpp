#include "updater/launch_options.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "updater/posix/resource_string_table.h"

namespace ombrix::updater {
namespace {

LaunchOptions WithLanguages() {
  LaunchOptions options;
  options.languages = {{"A", "Alpha"}, {"B", "Beta"}};
  options.defaultLanguage = "B";
  return options;
}

TEST(LaunchOptionsLocalized, PicksLocaleThenDefaultLanguage) {
  LaunchOptions options = WithLanguages();
  EXPECT_EQ(options.Localized("A", "A=x;B=y"), "x");
  EXPECT_EQ(options.Localized("B", "A=x;B=y"), "y");
  EXPECT_EQ(options.Localized("C", "A=x;B=y"), "y");
  EXPECT_EQ(options.Localized("", "A=x;B=y"), "y");
  EXPECT_EQ(options.Localized("A", "A=x=z;A=w"), "x=z");
}

TEST(LaunchOptionsLocalized, PlainValuesStayUnchanged) {
  LaunchOptions options = WithLanguages();
  EXPECT_EQ(options.Localized("A", "Pellor"), "Pellor");
  EXPECT_EQ(options.Localized("C", ";;"), ";;");
  EXPECT_EQ(options.Localized("A", ""), "");
}

TEST(LaunchOptionsLocalized, NoPairForLocaleOrDefaultIsEmpty) {
  LaunchOptions options = WithLanguages();
  EXPECT_EQ(options.Localized("C", "A=x"), "");
  EXPECT_EQ(options.Localized("B", "A=x"), "");
  options.defaultLanguage = "";
  EXPECT_EQ(options.Localized("C", "A=x;=empty-key"), "empty-key");
}

TEST(LaunchOptionsLocalized, WithoutLanguageListEverythingIsPlain) {
  LaunchOptions options;
  options.defaultLanguage = "a";
  EXPECT_EQ(options.Localized("a", "a=b"), "a=b");
}

TEST(LaunchOptionsChildVersion, DefaultVersionReplacesOnlyTheMarker) {
  LaunchOptions options;
  EXPECT_EQ(options.ChildVersion(), "?");
  options.defaultVersion = "5.1";
  EXPECT_EQ(options.ChildVersion(), "5.1");
  options.packageVersion = "";
  EXPECT_EQ(options.ChildVersion(), "");
  options.packageVersion = "6.0";
  EXPECT_EQ(options.ChildVersion(), "6.0");
}

TEST(LaunchOptionsToBehavior, AppliesTheUpdaterOverrides) {
  LaunchOptions options("Tavrin/Pellor Update/Vesk");
  options.logLevel = 3;
  TransferSettings defaults;
  TransferSettings settings = options.ToBehavior();
  EXPECT_EQ(settings.manifestHost, defaults.manifestHost);
  EXPECT_EQ(settings.taskThreads, defaults.taskThreads * 2);
  EXPECT_EQ(settings.logLevel, 3);
  EXPECT_EQ(settings.rateWindow, 1);
  EXPECT_EQ(settings.transfersFolder, "Tavrin/Pellor Update/Vesk/transfers");
  EXPECT_EQ(settings.logsFolder, "Tavrin/Pellor Update/Vesk/logs");
  EXPECT_EQ(settings.workflowConcurrency, defaults.workflowConcurrency);

  options.manifestHost = "manifests.example";
  EXPECT_EQ(options.ToBehavior().manifestHost, "manifests.example");
}

class ChildArgumentsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    options.skinPartnerId = "sp";
    options.childPackageIds = "cp";
    options.displayName = "Name";
    options.folderName = "Folder";
    options.skinPackageIds = "skin";
  }
  LaunchOptions options;
};

TEST_F(ChildArgumentsTest, ProductDefaultsGiveIdPackageNameFolderAndSkin) {
  EXPECT_EQ(BuildChildArguments(options, "", ""),
            R"( /id "sp" /package "cp" /name "Name" /folder "Folder")");
  EXPECT_EQ(BuildChildArguments(options, "", "bin/skin.exe"),
            R"( /id "sp" /package "cp" /name "Name" /folder "Folder" /skin "skin/bin/skin.exe")");
}

TEST_F(ChildArgumentsTest, EveryPieceInOrder) {
  options.manifestHost = "h";
  options.packageVersion = "2.0";
  options.logLevel = 7;
  options.forcedDownloadPath = "/data";
  options.forceDownloadPath = true;
  EXPECT_EQ(BuildChildArguments(options, "en", "run"),
            R"( /host "h" /id "sp" /package "cp" /name "Name" /folder "Folder" /locale "en")"
            R"( /version "2.0" /skin "skin/run" /log "7" /downloadPath "/data" /forcePath)");
}

TEST_F(ChildArgumentsTest, ConditionalPiecesFollowTheirValues) {
  options.skinPartnerId = "";
  options.packageVersion = "";
  options.logLevel = -10;
  options.forcedDownloadPath = "/data";
  options.forceDownloadPath = false;
  EXPECT_EQ(BuildChildArguments(options, "", ""),
            R"( /package "cp" /name "Name" /folder "Folder" /version "" /log "-10")"
            R"( /downloadPath "/data")");
  options.forcedDownloadPath = "";
  options.forceDownloadPath = true;  // no path written: no /forcePath either
  options.logLevel = -9;
  options.packageVersion = "?";
  options.defaultVersion = "4.4";
  EXPECT_EQ(BuildChildArguments(options, "", ""),
            R"( /package "cp" /name "Name" /folder "Folder" /version "4.4")");
}

// A quote inside a value is escaped, so the application reads the value back whole.
TEST_F(ChildArgumentsTest, ValuesAreQuotedAndLocalized) {
  options.languages = {{"de", "Deutsch"}, {"en", "English"}};
  options.defaultLanguage = "en";
  options.displayName = "de=Pellor \"DE\";en=Pellor";
  options.skinPackageIds = "de=skin-de;en=skin-en";
  EXPECT_EQ(BuildChildArguments(options, "de", "run"),
            R"( /id "sp" /package "cp" /name "Pellor \"DE\"" /folder "Folder" /locale "de")"
            R"( /skin "skin-de/run")");
}

TEST(ResourceStringTable, ParsesIdsEscapesAndIgnoresNoise) {
  posix::ResourceStringTable table(
      "# comment\n102=host\r\n103=a\\nb\\\\c\\x\n\nx=1\n104\n105=\n106=first\n106=second=2\n"
      "99999999999=overlong id");
  EXPECT_EQ(table.Load(102), "host");
  EXPECT_EQ(table.Load(103), "a\nb\\c\\x");
  EXPECT_EQ(table.Load(104), "");
  EXPECT_EQ(table.Load(105), "");
  EXPECT_EQ(table.Load(106), "second=2");
  EXPECT_EQ(table.Load(107), "");
}

TEST(ResourceStringTable, EmbeddedTableHoldsTheProductIdentifiers) {
  auto table = posix::ResourceStringTable::Embedded();
  for (unsigned id : {103u, 104u, 105u, 107u, 108u}) {
    const std::string value = table->Load(id);
    EXPECT_EQ(value.size(), 24u) << id;
    EXPECT_EQ(value.find_first_not_of("0123456789abcdef"), std::string::npos) << id;
  }
  for (unsigned id : {102u, 106u, 112u, 113u, 114u}) EXPECT_EQ(table->Load(id), "") << id;
  EXPECT_FALSE(table->Load(109).empty());
  EXPECT_FALSE(table->Load(110).empty());
}

TEST(ResourceStringTable, ReplacementFileWinsUnlessUnreadable) {
  test::TempDir dir;
  const auto file = dir.Write("strings.txt", "109=Demo\n");
  Environment environment({{posix::kStringTableVariable, file.string()}});
  EXPECT_EQ(posix::ResourceStringTable::Open(environment)->Load(109), "Demo");

  const std::string embedded = posix::ResourceStringTable::Embedded()->Load(109);
  for (const std::string& bad : {dir.str() + "/missing.txt", dir.str(), std::string()}) {
    Environment unreadable({{posix::kStringTableVariable, bad}});
    EXPECT_EQ(posix::ResourceStringTable::Open(unreadable)->Load(109), embedded) << bad;
  }
  dir.Write("huge.txt", std::string(posix::kMaxStringTableFileBytes + 1, '#'));
  Environment huge({{posix::kStringTableVariable, dir.str() + "/huge.txt"}});
  EXPECT_EQ(posix::ResourceStringTable::Open(huge)->Load(109), embedded);
}

}  // namespace
}  // namespace ombrix::updater
