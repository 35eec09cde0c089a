#include "platform/Names.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(Names, ExtensionComesFromTheLastDotOfTheLastElement)
{
    EXPECT_EQ(ExtractFileExt("/music/Live.Set.ogg"), ".ogg");
    EXPECT_EQ(ExtractFileExt("/music/SONG.MP3"), ".MP3");
    EXPECT_EQ(ExtractFileExt("/music/README"), "");
    EXPECT_EQ(ExtractFileExt("/music.mp3/README"), "");
    EXPECT_EQ(ExtractFileExt("/music/.mp3"), ".mp3");
    EXPECT_EQ(ExtractFileExt("name."), ".");
    EXPECT_EQ(ExtractFileExt(""), "");
}

TEST(Names, NameWithoutFolderAndExtension)
{
    EXPECT_EQ(NameWithoutFolderAndExt("/music/Live.Set.ogg"), "Live.Set");
    EXPECT_EQ(NameWithoutFolderAndExt("/music/README"), "README");
    EXPECT_EQ(NameWithoutFolderAndExt("/music/.mp3"), "");
    EXPECT_EQ(NameWithoutFolderAndExt("/music.d/track"), "track");
    EXPECT_EQ(NameWithoutFolderAndExt("plain.wav"), "plain");
}

TEST(Names, FolderPartKeepsTheTrailingSeparator)
{
    EXPECT_EQ(FolderPart("/music/a.mp3"), "/music/");
    EXPECT_EQ(FolderPart("/music/"), "/music/");
    EXPECT_EQ(FolderPart("/"), "/");
    EXPECT_EQ(FolderPart("a.mp3"), "");
}

TEST(Names, MinutesAndSecondsAreNotCappedAt59Minutes)
{
    EXPECT_EQ(FormatMinSec(0), "00:00");
    EXPECT_EQ(FormatMinSec(65), "01:05");
    EXPECT_EQ(FormatMinSec(3599), "59:59");
    EXPECT_EQ(FormatMinSec(6005), "100:05");
}
