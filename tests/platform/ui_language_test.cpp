#include "platform/ui_language.h"

#include <cstdlib>

#include <gtest/gtest.h>

namespace {

using platform::language_id_from_locale;

TEST(UiLanguage, ChineseTerritoriesGiveTheirWindowsSubLanguages) {
    EXPECT_EQ(language_id_from_locale("zh_CN.UTF-8"), 0x0804);
    EXPECT_EQ(language_id_from_locale("zh_SG"), 0x1004);
    EXPECT_EQ(language_id_from_locale("zh_TW.UTF-8"), 0x0404);
    EXPECT_EQ(language_id_from_locale("zh_HK.Big5-HKSCS"), 0x0C04);
    EXPECT_EQ(language_id_from_locale("zh_MO"), 0x1404);
    EXPECT_EQ(language_id_from_locale("zh"), 0x0804);
    EXPECT_EQ(language_id_from_locale("zh-Hant"), 0x0404);
    EXPECT_EQ(language_id_from_locale("zh-Hant-HK"), 0x0C04);
    EXPECT_EQ(language_id_from_locale("zh-Hans-SG"), 0x1004);
}

TEST(UiLanguage, OtherLanguagesAndFallbacks) {
    EXPECT_EQ(language_id_from_locale("en_US.UTF-8"), 0x0409);
    EXPECT_EQ(language_id_from_locale("en_GB.UTF-8@euro"), 0x0809);
    EXPECT_EQ(language_id_from_locale("en"), 0x0409);
    EXPECT_EQ(language_id_from_locale("de_DE.UTF-8"), 0x0407);
    EXPECT_EQ(language_id_from_locale("de_AT"), 0x0C07);
    EXPECT_EQ(language_id_from_locale("ja_JP.UTF-8"), 0x0411);
    EXPECT_EQ(language_id_from_locale("pt_BR"), 0x0416);
    EXPECT_EQ(language_id_from_locale("fr_XX"), 0x040C);  // unknown territory: default
    EXPECT_EQ(language_id_from_locale("C"), 0x0409);
    EXPECT_EQ(language_id_from_locale("POSIX"), 0x0409);
    EXPECT_EQ(language_id_from_locale("C.UTF-8"), 0x0409);
    EXPECT_EQ(language_id_from_locale(""), 0x0409);
    EXPECT_EQ(language_id_from_locale("xx_YY"), 0x0409);
}

TEST(UiLanguage, LcAllThenLcMessagesThenLang) {
    ::setenv("LANG", "zh_TW.UTF-8", 1);
    ::setenv("LC_MESSAGES", "de_DE.UTF-8", 1);
    ::setenv("LC_ALL", "zh_CN.UTF-8", 1);
    EXPECT_EQ(platform::user_ui_language(), 0x0804);
    ::setenv("LC_ALL", "", 1);
    EXPECT_EQ(platform::user_ui_language(), 0x0407);
    ::unsetenv("LC_MESSAGES");
    EXPECT_EQ(platform::user_ui_language(), 0x0404);
    ::unsetenv("LANG");
    ::unsetenv("LC_ALL");
    EXPECT_EQ(platform::user_ui_language(), 0x0409);
}

}  // namespace
