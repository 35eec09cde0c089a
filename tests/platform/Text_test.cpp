#include "platform/Text.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(Text, Utf16AndUtf8RoundTripBeyondTheBasicPlane)
{
    std::u16string text = u"Grüße Привет 東京 \U0001F3B5";
    EXPECT_EQ(Utf16ToUtf8(text), "Grüße Привет 東京 \xF0\x9F\x8E\xB5");
    EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
}

TEST(Text, BrokenInputBecomesReplacementCharacters)
{
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800)) + u"a"), "\xEF\xBF\xBD" "a");
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
    EXPECT_EQ(Utf8ToUtf16("a\xC3"), u"a\uFFFD");
    EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD"); // overlong
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD"); // encoded surrogate
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
