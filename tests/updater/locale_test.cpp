#include <gtest/gtest.h>

#include <climits>

#include "updater/locale/boost_locale.h"
#include "updater/pellor/pellor_updater.h"

namespace ombrix::locale {
namespace {

class LocaleTest : public ::testing::Test {
 public:
  LocaleTest() : catalog("pellor-updater") { updater.RegisterCatalogs(catalog); }
  // A locale for the user's environment `name`.
  std::unique_ptr<CustomBoostLocale> For(const std::string& name) {
    return std::make_unique<CustomBoostLocale>(catalog, "", name);
  }
  updater::pellor::PellorUpdater updater;
  posix::EmbeddedMessageCatalog catalog;
};

TEST_F(LocaleTest, TimeRemainingRoundsMinutesUpAndNeverWraps) {
  const auto english = For("en_US.UTF-8");
  const std::pair<std::int32_t, const char*> cases[] = {
      {-1, "Calculating time remaining"},      {0, "0 seconds remaining"},
      {-5, "0 seconds remaining"},             {-7200, "0 seconds remaining"},
      {1, "1 second remaining"},               {59, "59 seconds remaining"},
      {60, "1 minute remaining"},              {61, "2 minutes remaining"},
      {3540, "1 hour remaining"},              {3600, "1 hour, 1 minute remaining"},
      {3660, "1 hour, 2 minutes remaining"},   {7200, "2 hours, 1 minute remaining"},
      {7140, "2 hours remaining"},             {7265, "2 hours, 2 minutes remaining"},
      {INT_MAX, "596523 hours, 15 minutes remaining"}};
  for (const auto& [seconds, text] : cases) EXPECT_EQ(english->FormatTimeRemaining(seconds), text) << seconds;
}

TEST_F(LocaleTest, SizesAndNumbers) {
  const auto english = For("en_US.UTF-8");
  EXPECT_EQ(english->FormatSize(1048575), "1024 KB");
  EXPECT_EQ(english->FormatSize(1048576), "1.00 MB");
  EXPECT_EQ(english->FormatSize(1073741824), "1.00 GB");
  EXPECT_EQ(english->FormatPercent(0.4567, 1), "45.7%");
}

TEST(SystemLocaleName, ReadsTheMessageVariablesInOrder) {
  using Vars = std::map<std::string, std::string>;
  const std::pair<Vars, const char*> cases[] = {
      {{{"LC_ALL", "de_DE.ISO-8859-1"}, {"LANG", "fr_FR.UTF-8"}}, "de_DE.UTF-8"},
      {{{"LC_ALL", ""}, {"LC_MESSAGES", "pt_BR"}, {"LANG", "fr_FR.UTF-8"}}, "pt_BR.UTF-8"},
      {{{"LC_CTYPE", "ja_JP.UTF-8"}, {"LANG", "sv_SE.UTF-8"}}, "sv_SE.UTF-8"},
      {{{"LANG", "C"}}, "en_US.UTF-8"},
      {{{"LANG", "C.UTF-8"}}, "en_US.UTF-8"},
      {{{"LANG", "POSIX"}}, "en_US.UTF-8"},
      {{}, "en_US.UTF-8"},
      {{{"LANG", "sr_RS@latin"}}, "sr_RS.UTF-8@latin"}};
  for (const auto& [variables, name] : cases) EXPECT_EQ(SystemLocaleName(Environment(variables)), name) << name;
}

// The user's locale picks a catalog through the locale table: a country falls back to
// its language, and the Spanish of the Americas has its own.
TEST_F(LocaleTest, TheUsersLocaleSelectsItsCatalog) {
  const std::string id = "Calculating time remaining";
  const auto translated = [&](const std::string& name) { return For(name)->Translate(id); };
  EXPECT_EQ(translated("en_US.UTF-8"), id);
  EXPECT_NE(translated("de_DE.UTF-8"), id);
  EXPECT_EQ(translated("de_AT.UTF-8"), translated("de_DE.UTF-8"));
  EXPECT_EQ(translated("pt_BR.UTF-8"), translated("pt_PT.UTF-8"));
  EXPECT_EQ(translated("es_MX.UTF-8"), translated("es_AR.UTF-8"));
  EXPECT_EQ(translated("es.UTF-8"), translated("es_ES.UTF-8"));
  EXPECT_NE(translated("es_MX.UTF-8"), translated("es_ES.UTF-8"));
  EXPECT_EQ(translated("nb_NO.UTF-8"), translated("no_NO.UTF-8"));
  EXPECT_EQ(translated("zh_HK.UTF-8"), translated("zh_TW.UTF-8"));
  EXPECT_NE(translated("zh_HK.UTF-8"), translated("zh_CN.UTF-8"));

  // A switch by name (the dialog's language choice) and Format translating its argument.
  auto locale = For("en_US.UTF-8");
  locale->SetLocale("fr");
  EXPECT_EQ(locale->GetName(), "fr");
  EXPECT_EQ(locale->Format("{1} Error", "Pellor Update"),
            locale->FormatRaw("{1} Error", locale->Translate("Pellor Update")));
}

// Every catalog carries all the product's texts, each keeping its placeholders.
TEST_F(LocaleTest, EveryCatalogTranslatesEveryMessageWithItsPlaceholders) {
  const char* const ids[] = {"1 hour remaining", "1 hour, 1 minute remaining", "1 hour, {1} minutes remaining",
                             "1 minute remaining", "1 second remaining", "Calculating time remaining",
                             "Internet connection not established. Check the Internet connection and please try again.",
                             "Launching Pellor Update ({1})", "Launching {1}",
                             "Not enough storage. Free some space and please try again.",
                             "Out of memory. Free up some memory and try again.", "Pellor Update",
                             "Pellor Update ({1})", "Pellor Update ({1}) Error",
                             "Trouble writing to storage. Make sure the user account has sufficient permissions and "
                             "please try again.",
                             "{1} Error", "{1} hours remaining", "{1} hours, 1 minute remaining",
                             "{1} hours, {2} minutes remaining", "{1} minutes remaining", "{1} seconds remaining"};
  updater::pellor::PellorUpdaterMessages messages;
  std::vector<std::string> texts(std::begin(ids), std::end(ids));
  for (std::uint8_t kind : {2, 9, 10}) texts.push_back(messages.GetErrorText(kind));
  texts.push_back(messages.GetLaunchFailedText());
  ASSERT_EQ(texts.size(), 25u);
  const auto count = [](const std::string& text, const char* placeholder) {
    std::size_t n = 0;
    for (std::size_t at = text.find(placeholder); at != std::string::npos; at = text.find(placeholder, at + 1)) ++n;
    return n;
  };
  for (const char* language : {"cs", "de", "el", "en_GB", "es_AR", "es_ES", "fi", "fr", "hu", "it", "ja", "ko",
                               "nl", "no", "pl", "pt", "ro", "ru", "sv", "th", "tr", "zh_CN", "zh_TW"}) {
    const auto locale = For(std::string(language) + ".UTF-8");
    std::size_t changed = 0;
    for (const std::string& id : texts) {
      const std::string translated = locale->Translate(id);
      EXPECT_FALSE(translated.empty()) << language << ": " << id;
      EXPECT_EQ(count(translated, "{1}"), count(id, "{1}")) << language << ": " << translated;
      EXPECT_EQ(count(translated, "{2}"), count(id, "{2}")) << language << ": " << translated;
      changed += translated != id;
    }
    EXPECT_GE(changed, std::string(language) == "en_GB" ? 0u : 20u) << language << " looks untranslated";
  }
}

}  // namespace
}  // namespace ombrix::locale
