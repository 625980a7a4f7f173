#include "app/language_profiles.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/test_support.h"

namespace pelvar::app {
namespace {

using pelvar::testing::TempDir;

constexpr const char* kConfig =
    "[main]\nDefaultLanguage=Deutsch\n"
    "[AvailableLanguages]\ndefault=English\nDeutsch=German\nfrench=French\n"
    "[language-default]\nStart=Start\n"
    "[language-Deutsch]\nStart=Starten\nOpen=\nExtra=kept\n"
    "[language-french]\nStart=Lancer\n"
    "[updates]\nhome=http://example.org/list.ini\n";

TEST(LanguageProfilesTest, LoadsTheProfileInUseAndTranslatesWithDefaults) {
  TempDir dir;
  const std::string path = dir.Write("pelvar.ini", kConfig);
  const LanguageProfiles profiles = LoadLanguageProfiles(path);
  EXPECT_EQ(profiles.names, (std::vector<std::string>{"default", "Deutsch", "french"}));
  EXPECT_EQ(profiles.selected, 1);
  ASSERT_EQ(profiles.rows.size(), 3u);
  EXPECT_EQ(profiles.rows[2].key, "Extra");
  const Captions captions = Translate(profiles.rows);
  EXPECT_EQ(captions[6], "Starten");
  EXPECT_EQ(captions[2], "Open");  // an empty text counts as missing
  EXPECT_EQ(captions[0], "Pelvar");
  EXPECT_EQ(TranslatedText(profiles.rows, "start", "x"), "Starten");  // case ignored
}

TEST(LanguageProfilesTest, DisplayNamesComeFromTheListAndStayApart) {
  TempDir dir;
  const std::string path = dir.Write("pelvar.ini",
                                     "[AvailableLanguages]\ndefault=English\nDeutsch=\n"
                                     "Mine=User custom language\nYours=User custom language\n");
  const LanguageProfiles profiles = LoadLanguageProfiles(path);
  EXPECT_EQ(profiles.display_names,
            (std::vector<std::string>{"English", "Deutsch", "User custom language (Mine)",
                                      "User custom language (Yours)"}));
}

TEST(LanguageProfilesTest, TheEightCaptionKeysKeepTheirPlacesAndNames) {
  EXPECT_EQ(CaptionIndex("ProgramTitle"), 0u);
  EXPECT_EQ(CaptionIndex("Start"), 6u);
  EXPECT_EQ(CaptionIndex("Description_LogWindow"), 7u);
  const Captions captions = Translate({{"savelog", "Sichern"}});
  EXPECT_EQ(captions[CaptionIndex("SaveLog")], "Sichern");
  EXPECT_EQ(captions[CaptionIndex("DryRun")], "Dry run");
}

TEST(LanguageProfilesTest, MissingFileOrProfile) {
  TempDir dir;
  LanguageProfiles none = LoadLanguageProfiles(dir.Path("pelvar.ini"));
  EXPECT_TRUE(none.names.empty());
  EXPECT_TRUE(none.rows.empty());
  EXPECT_EQ(Translate(none.rows)[5], "Log window");
  const std::string path = dir.Write("pelvar.ini",
                                     "[main]\nDefaultLanguage=klingon\n"
                                     "[AvailableLanguages]\ndefault=\n");
  const LanguageProfiles unlisted = LoadLanguageProfiles(path);
  EXPECT_EQ(unlisted.selected, -1);
  EXPECT_EQ(unlisted.in_use, "klingon");
  // Nothing is created without a file.
  SaveLanguage(dir.Path("other.ini"), "x", {});
  CreateLanguage(dir.Path("other.ini"), "x", {});
  EXPECT_FALSE(dir.Exists("other.ini"));
}

TEST(LanguageProfilesTest, SaveChangesTheProfileWhereItStands) {
  TempDir dir;
  const std::string path = dir.Write("pelvar.ini", kConfig);
  SaveLanguage(path, "default", {{"Start", "Go"}, {"Open", "Edit"}});
  EXPECT_EQ(dir.Read("pelvar.ini"),
            "[main]\nDefaultLanguage=default\n"
            "[AvailableLanguages]\ndefault=English\nDeutsch=German\nfrench=French\n"
            "[language-default]\nStart=Go\nOpen=Edit\n"
            "[language-Deutsch]\nStart=Starten\nOpen=\nExtra=kept\n"
            "[language-french]\nStart=Lancer\n"
            "[updates]\nhome=http://example.org/list.ini\n");
  EXPECT_EQ(LoadLanguageProfiles(path).rows.size(), 2u);
}

TEST(LanguageProfilesTest, CreateCopiesTheShownTextsAndRefusesListedNames) {
  TempDir dir;
  const std::string path = dir.Write("pelvar.ini", kConfig);
  const LanguageProfiles before = LoadLanguageProfiles(path);
  EXPECT_EQ(LanguageNameTaken(before.names, "DEFAULT"),
            "DEFAULT already exists..\rPlease choose a diferent name");
  EXPECT_FALSE(LanguageNameTaken(before.names, "Nederlands"));
  std::vector<LanguageRow> edited = before.rows;
  edited[0].text = "Los";  // edited, not saved
  CreateLanguage(path, "Nederlands", edited);
  const LanguageProfiles after = LoadLanguageProfiles(path);
  EXPECT_EQ(after.names.back(), "Nederlands");
  EXPECT_EQ(after.selected, 3);
  EXPECT_EQ(Translate(after.rows)[6], "Los");
  EXPECT_NE(dir.Read("pelvar.ini").find("french=French\nNederlands=User custom language\n"),
            std::string::npos);
  // The edited profile keeps its saved text; the new one comes last.
  EXPECT_NE(dir.Read("pelvar.ini").find("[language-Deutsch]\nStart=Starten"), std::string::npos);
  EXPECT_TRUE(dir.Read("pelvar.ini")
                  .ends_with("list.ini\n\n[language-Nederlands]\nStart=Los\nOpen=\nExtra=kept\n"))
      << dir.Read("pelvar.ini");
}

TEST(LanguageProfilesTest, DeleteRemovesTheListEntryAndTheSection) {
  TempDir dir;
  const std::string path = dir.Write("pelvar.ini", kConfig);
  DeleteLanguage(path, "default", "french");
  const LanguageProfiles after = LoadLanguageProfiles(path);
  EXPECT_EQ(after.names, (std::vector<std::string>{"default", "Deutsch"}));
  EXPECT_EQ(after.in_use, "default");
  EXPECT_EQ(after.selected, 0);
  EXPECT_EQ(dir.Read("pelvar.ini").find("language-french"), std::string::npos);
  EXPECT_NE(dir.Read("pelvar.ini").find("[updates]"), std::string::npos);
}

TEST(LanguageProfilesTest, ReadOnlyFileRaisesTheCreateError) {
  TempDir dir;
  const std::string path = dir.Write("pelvar.ini", kConfig);
  ::chmod(path.c_str(), 0444);
  try {
    SaveLanguage(path, "default", {});
    ADD_FAILURE() << "no error";
  } catch (const std::exception& error) {
    EXPECT_TRUE(std::string(error.what()).starts_with("Cannot create file \"" + path + "\"."))
        << error.what();
  }
  EXPECT_EQ(dir.Read("pelvar.ini"), kConfig);
}

}  // namespace
}  // namespace pelvar::app
