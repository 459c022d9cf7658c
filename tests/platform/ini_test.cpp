#include "platform/ini.h"

#include <random>

#include <gtest/gtest.h>

#include "temp_dir.h"

namespace {

using platform::ini_get_int;
using platform::ini_get_section;
using platform::ini_get_string;
using platform::ini_write_string;

class IniTest : public ::testing::Test {
protected:
    std::string make(const std::string& bytes) {
        const std::string path = dir_.file("test.ini");
        kvp_test::write_file(path, bytes);
        return path;
    }
    kvp_test::TempDir dir_;
};

TEST_F(IniTest, NamesMatchWithoutCaseAndValuesAreTrimmedAndUnquoted) {
    const auto path = make(
        "[Option]\r\n"
        "  Option = 4  \r\n"
        "Name=\"quoted value\"\r\n"
        "Single='x'\r\n"
        "Half=\"open\r\n"
        "Eq=a=b=c\r\n"
        "[other]\r\nOption=7\r\n");
    EXPECT_EQ(ini_get_string(path, "OPTION", "option", "def"), "4");
    EXPECT_EQ(ini_get_string(path, "option", "name", ""), "quoted value");
    EXPECT_EQ(ini_get_string(path, "option", "single", ""), "x");
    EXPECT_EQ(ini_get_string(path, "option", "half", ""), "\"open");
    EXPECT_EQ(ini_get_string(path, "option", "eq", ""), "a=b=c");
    EXPECT_EQ(ini_get_string(path, "Other", "OPTION", ""), "7");
    EXPECT_EQ(ini_get_string(path, "option", "missing", "def"), "def");
    EXPECT_EQ(ini_get_string(path, "missing", "Option", "def"), "def");
}

TEST_F(IniTest, FirstSectionAndKeyOfANameWinAndLinesBeforeAnySectionAreIgnored) {
    const auto path = make("k=orphan\n[s]\nk=1\nK=2\n[S]\nk=3\n");
    EXPECT_EQ(ini_get_string(path, "s", "k", ""), "1");
    EXPECT_EQ(ini_get_section(path, "s"), (std::vector<std::string>{"k=1", "K=2"}));
    EXPECT_EQ(ini_get_string(path, "", "k", "none"), "none");
}

TEST_F(IniTest, StringReadsKeepAtMostOneCharacterLessThanTheBuffer) {
    const auto path = make("[s]\nlong=abcdefgh\nwide=\xE4\xB8\xAD\xE6\x96\x87\xE5\xAD\x97\n");
    EXPECT_EQ(ini_get_string(path, "s", "long", "", 5), "abcd");
    EXPECT_EQ(ini_get_string(path, "s", "long", "", 0), "");
    EXPECT_EQ(ini_get_string(path, "s", "long", "", 1), "");
    // Counted in characters, never cutting a multi-byte character.
    EXPECT_EQ(ini_get_string(path, "s", "wide", "", 3), "\xE4\xB8\xAD\xE6\x96\x87");
    // The default obeys the limit too.
    EXPECT_EQ(ini_get_string(path, "s", "none", "defaultvalue", 4), "def");
}

TEST_F(IniTest, IntegerReadsParseTheLeadingNumber) {
    const auto path = make("[n]\na=12\nb=12ab\nc=ab\nd=-5\ne=0x1F\nf=\ng= +42 \nh=4294967297\n");
    EXPECT_EQ(ini_get_int(path, "n", "a", 9), 12);
    EXPECT_EQ(ini_get_int(path, "n", "b", 9), 12);
    EXPECT_EQ(ini_get_int(path, "n", "c", 9), 0);
    EXPECT_EQ(ini_get_int(path, "n", "d", 9), -5);
    EXPECT_EQ(ini_get_int(path, "n", "e", 9), 31);
    EXPECT_EQ(ini_get_int(path, "n", "f", 9), 9);  // empty value: default
    EXPECT_EQ(ini_get_int(path, "n", "g", 9), 42);
    EXPECT_EQ(ini_get_int(path, "n", "h", 9), 1);  // wraps like a 32-bit value
    EXPECT_EQ(ini_get_int(path, "n", "missing", 9), 9);
}

TEST_F(IniTest, SectionReadsKeepFileOrderAndSkipCommentsAndBlanks) {
    const auto path = make(
        "[Lang]\r\n"
        "; a comment\r\n"
        "2 = two\r\n"
        "\r\n"
        "1=one=uno\r\n"
        "bare line\r\n"
        "0=\"zero\"\r\n"
        "[Next]\r\nx=y\r\n");
    EXPECT_EQ(ini_get_section(path, "lang"),
              (std::vector<std::string>{"2=two", "1=one=uno", "bare line", "0=\"zero\""}));
    EXPECT_TRUE(ini_get_section(path, "absent").empty());
}

TEST_F(IniTest, MissingFileGivesDefaults) {
    const auto path = dir_.file("nothing.ini");
    EXPECT_EQ(ini_get_string(path, "s", "k", "d"), "d");
    EXPECT_EQ(ini_get_int(path, "s", "k", -3), -3);
    EXPECT_TRUE(ini_get_section(path, "s").empty());
}

TEST_F(IniTest, ReadsUtf16AndUtf8WithMarksAndLatin1) {
    // "[s]\r\nk=中\r\n" in UTF-16LE with its mark.
    std::string utf16 = "\xFF\xFE";
    for (char16_t c : std::u16string(u"[s]\r\nk=\u4E2D\r\n")) {
        utf16 += static_cast<char>(c & 0xFF);
        utf16 += static_cast<char>(c >> 8);
    }
    EXPECT_EQ(ini_get_string(make(utf16), "s", "k", ""), "\xE4\xB8\xAD");
    EXPECT_EQ(ini_get_string(make("\xEF\xBB\xBF[s]\nk=v\n"), "s", "k", ""), "v");
    // Not UTF-8: read as Latin-1 ("é" as 0xE9).
    EXPECT_EQ(ini_get_string(make("[s]\nk=caf\xE9\n"), "s", "k", ""), "caf\xC3\xA9");
}

TEST_F(IniTest, BinaryGarbageAndVeryLongLinesAreReadWithoutHarm) {
    std::mt19937 rng(1234);
    std::string garbage(1 << 16, '\0');
    for (char& c : garbage) c = static_cast<char>(rng());
    const auto path = make(garbage + "\n[s]\nk=v\n");
    EXPECT_EQ(ini_get_string(path, "s", "k", ""), "v");
    ini_get_section(path, "s");
    ini_get_int(path, "\x01", "\x02", 0);

    const std::string long_value(2 << 20, 'x');
    const auto long_path = make("[s]\nk=" + long_value + "\nnext=1\n");
    EXPECT_EQ(ini_get_string(long_path, "s", "k", "", long_value.size() + 1), long_value);
    EXPECT_EQ(ini_get_int(long_path, "s", "next", 0), 1);
    EXPECT_EQ(ini_get_string(make(std::string(1 << 20, '[')), "s", "k", "d"), "d");
}

TEST_F(IniTest, WritesCreateReplaceAndDeleteKeys) {
    const auto path = dir_.file("new.ini");
    ASSERT_TRUE(ini_write_string(path, "Option", "Option", "4"));
    ASSERT_TRUE(ini_write_string(path, "Option", "9", "English"));
    ASSERT_TRUE(ini_write_string(path, "English", "0", "Hello"));
    ASSERT_TRUE(ini_write_string(path, "option", "OPTION", "31748"));
    EXPECT_EQ(ini_get_int(path, "Option", "Option", 0), 31748);
    EXPECT_EQ(ini_get_section(path, "Option"),
              (std::vector<std::string>{"Option=31748", "9=English"}));
    EXPECT_EQ(kvp_test::read_file(path),
              "[Option]\r\nOption=31748\r\n9=English\r\n\r\n[English]\r\n0=Hello\r\n");

    ASSERT_TRUE(ini_write_string(path, "Option", "9", std::nullopt));
    EXPECT_EQ(ini_get_string(path, "Option", "9", "gone"), "gone");
    ASSERT_TRUE(platform::ini_delete_section(path, "english"));
    EXPECT_TRUE(ini_get_section(path, "English").empty());
    EXPECT_EQ(ini_get_int(path, "Option", "Option", 0), 31748);
}

TEST_F(IniTest, WritesKeepOtherLinesEncodingAndLineEndings) {
    const auto path = make("; settings\n[a]\nx=1\n\n[b]\ny=2\n");
    ASSERT_TRUE(ini_write_string(path, "a", "z", "3"));
    EXPECT_EQ(kvp_test::read_file(path), "; settings\n[a]\nx=1\nz=3\n\n[b]\ny=2\n");

    std::string utf16 = "\xFF\xFE";
    for (char16_t c : std::u16string(u"[s]\r\nk=v\r\n")) {
        utf16 += static_cast<char>(c & 0xFF);
        utf16 += static_cast<char>(c >> 8);
    }
    const auto wide = make(utf16);
    ASSERT_TRUE(ini_write_string(wide, "s", "k", "\xE4\xB8\xAD"));
    const std::string bytes = kvp_test::read_file(wide);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(ini_get_string(wide, "s", "k", ""), "\xE4\xB8\xAD");
}

TEST_F(IniTest, WriteIntoAnUnwritableFolderFails) {
    EXPECT_FALSE(ini_write_string(dir_.file("no/such/dir.ini"), "s", "k", "v"));
}

}  // namespace
