#include "platform/Text.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(Text, Utf16AndUtf8RoundTripBeyondTheBasicPlane)
{
    std::u16string text = u"Grüße Привет 東京 \U0001F3B5";
    EXPECT_EQ(Utf16ToUtf8(text), "Grüße Привет 東京 \xF0\x9F\x8E\xB5");
    EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
    // Texts of every length up to a long tag's, across the room kept on the stack.
    std::u16string longText;
    std::string longUtf8;
    for (int i = 0; i < 60; ++i) {
        longText += text;
        longUtf8 += Utf16ToUtf8(text);
        ASSERT_EQ(Utf16ToUtf8(longText), longUtf8) << i;
        ASSERT_EQ(Utf8ToUtf16(longUtf8), longText) << i;
    }
}

TEST(Text, UnpairedSurrogatesOutsideTheEscapesBecomeReplacementCharacters)
{
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800)) + u"a"), "\xEF\xBF\xBD"
                                                                       "a");
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xDC7F))), "\xEF\xBF\xBD");
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xDD00))), "\xEF\xBF\xBD");
}

// File names are bytes: whatever is not UTF-8 must come back unchanged.
TEST(Text, BytesThatAreNotUtf8SurviveTheRoundTripAsLoneSurrogates)
{
    EXPECT_EQ(Utf8ToUtf16("a\xC3"), u"a\xDCC3");
    EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\xDCC0\xDCAF");           // overlong
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\xDCED\xDCA0\xDC80"); // encoded surrogate
    EXPECT_EQ(Utf8ToUtf16("M\xFCller"), u"M\xDCFCller");           // Latin-1
    EXPECT_EQ(Utf8ToUtf16("\xEF\xBF\xBD"), u"\uFFFD");             // a real U+FFFD stays one
    const std::string names[] = {
        "/Musik/M\xFCller.mp3",     "\xFF\xFE\x80",         "caf\xC3\xA9 \xE9t\xE9.ogg",
        "\xF0\x9F\x8E\xB5\xF0\x9F", "\xED\xB2\x80 escaped", "\xF4\x90\x80\x80 beyond U+10FFFF",
    };
    for (const std::string &name : names)
        EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(name)), name);
    std::string every;
    for (int b = 1; b < 256; ++b)
        every += static_cast<char>(b);
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(every)), every);
}

TEST(Text, CaseInsensitiveComparisonCoversUmlautsAndCyrillic)
{
    EXPECT_TRUE(SameTextLocale("/Musik/ÄRGER.mp3", "/musik/ärger.MP3"));
    EXPECT_TRUE(SameTextLocale("ПРИВЕТ", "привет"));
    EXPECT_FALSE(SameTextLocale("/a/b.mp3", "/a/b.mp2"));
    EXPECT_FALSE(SameTextLocale("abc", "abcd"));
    EXPECT_EQ(LowerCaseLocale(".MP3"), ".mp3");
    EXPECT_EQ(LowerCaseLocale("ÄÖÜ"), "äöü");
}
