#include "lang_set.h"

#include <cstdlib>

#include <gtest/gtest.h>

#include "temp_dir.h"

namespace {

using ovlplug::CLangSet;

// Each test runs with its own program folder (where a bare settings name and
// lanid.osd are looked up) and its own UI language.
class LangSetTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("KVP_PROGRAM_DIR", dir_.path().c_str(), 1);
        set_locale("en_US.UTF-8");
    }
    void TearDown() override { ::unsetenv("KVP_PROGRAM_DIR"); }

    static void set_locale(const char* locale) {
        ::setenv("LC_ALL", locale, 1);
        ::unsetenv("LC_MESSAGES");
        ::unsetenv("LANG");
    }
    void write(const std::string& name, const std::string& text) {
        kvp_test::write_file(dir_.file(name), text);
    }

    kvp_test::TempDir dir_;
};

const char kThreeLanguages[] =
    "[Option]\r\n"
    "Option=0\r\n"
    "4=zhs\r\n"
    "31748=zht\r\n"
    "9=en\r\n"
    "[en]\r\n0=Play\r\n1=Stop\r\n2=a=b=c\r\nbare\r\n"
    "[zhs]\r\n0=\xE6\x92\xAD\xE6\x94\xBE\r\n"
    "[zht]\r\n0=\xE6\x92\xAD\xE6\x94\xBE (TW)\r\n";

TEST_F(LangSetTest, TaiwanWithoutATraditionalSectionFallsBackToEnglish) {
    write("lumoraui.osd", "[Option]\r\n4=zhs\r\n9=en\r\n[en]\r\n0=Play\r\n[zhs]\r\n0=x\r\n");
    set_locale("zh_TW.UTF-8");
    CLangSet set;
    EXPECT_EQ(set.Load(L"lumoraui.osd"), 1);
    EXPECT_EQ(set.GetLanguageId(), 9);
    EXPECT_STREQ(set.GetText(0), L"Play");
}

TEST_F(LangSetTest, SystemLanguageChoosesTheChineseVariant) {
    write("lumoraui.osd", kThreeLanguages);
    CLangSet set;
    set_locale("zh_TW.UTF-8");
    set.Load(L"lumoraui.osd");
    EXPECT_EQ(set.GetLanguageId(), 31748);
    EXPECT_STREQ(set.GetText(0), L"\u64AD\u653E (TW)");
    set_locale("zh_HK.UTF-8");
    set.Load(L"lumoraui.osd");
    EXPECT_EQ(set.GetLanguageId(), 31748);
    set_locale("zh_SG.UTF-8");
    set.Load(L"lumoraui.osd");
    EXPECT_EQ(set.GetLanguageId(), 4);
    EXPECT_STREQ(set.GetText(0), L"\u64AD\u653E");
    set_locale("de_DE.UTF-8");  // German has no section: English
    set.Load(L"lumoraui.osd");
    EXPECT_EQ(set.GetLanguageId(), 9);
}

TEST_F(LangSetTest, IndicesOutsideTheTableGiveEmptyTextAndValuesKeepLaterEquals) {
    write("lumoraui.osd", kThreeLanguages);
    CLangSet set;
    set.Load(L"lumoraui.osd");
    EXPECT_STREQ(set.GetText(1), L"Stop");
    EXPECT_STREQ(set.GetText(2), L"a=b=c");  // everything after the first '='
    EXPECT_STREQ(set.GetText(3), L"bare");   // a line without '=' is kept whole
    EXPECT_STREQ(set.GetText(4), L"");       // index == count
    EXPECT_STREQ(set.GetText(-1), L"");
    EXPECT_STREQ(set.GetText(1 << 30), L"");
}

TEST_F(LangSetTest, PreferredLanguageFromTheFileAndLanidOverride) {
    std::string text = kThreeLanguages;
    text.replace(text.find("Option=0"), 8, "Option=31748");
    write("lumoraui.osd", text);
    CLangSet set;
    set.Load(L"lumoraui.osd");
    EXPECT_EQ(set.GetLanguageId(), 31748);

    write("lanid.osd", "[option]\r\noption=4\r\n");
    set.Load(L"lumoraui.osd");
    EXPECT_EQ(set.GetLanguageId(), 4);

    // An override of 0 means the system language, whatever the file says.
    write("lanid.osd", "[Option]\r\nOption=0\r\n");
    set.Load(L"lumoraui.osd");
    EXPECT_EQ(set.GetLanguageId(), 9);
}

TEST_F(LangSetTest, PathWithASeparatorIsUsedAsGiven) {
    kvp_test::TempDir other;
    kvp_test::write_file(other.file("texts.osd"), kThreeLanguages);
    CLangSet set;
    const std::string path = other.file("texts.osd");
    set.Load(std::wstring(path.begin(), path.end()));
    EXPECT_STREQ(set.GetText(0), L"Play");
}

TEST_F(LangSetTest, UnreadableFileKeepsThePreviousStrings) {
    write("lumoraui.osd", kThreeLanguages);
    write("empty.osd", "");
    CLangSet set;
    set.Load(L"lumoraui.osd");
    set.Load(L"missing.osd");
    EXPECT_EQ(set.GetLanguageId(), 9);
    EXPECT_STREQ(set.GetText(1), L"Stop");
    set.Load(L"empty.osd");
    EXPECT_STREQ(set.GetText(1), L"Stop");
}

}  // namespace
