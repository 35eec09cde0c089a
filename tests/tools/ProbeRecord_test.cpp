#include "Probe.h"
#include "tests/support/Fixtures.h"
#include "tests/support/Id3Writer.h"

#include <gtest/gtest.h>

namespace {

// The "record" object of a probe line.
std::string RecordOf(const std::string &line)
{
    size_t at = line.find("\"record\": ");
    return at == std::string::npos ? std::string() : line.substr(at);
}

} // namespace

// The record comes from the real library reading: an ".mp3" through the tag
// and frame readers, everything else through the engine; an ".mp3" the
// readers find no frame in keeps length 0, a file the engine cannot open
// gets a negative length.
TEST(ProbeRecord, RecordsComeFromTheLibraryReadingsOfEachFormat)
{
    fixtures::TempDir dir;
    const std::string wav = dir.Copy("tone-44100-stereo.wav", "Live.Set.wav");
    EXPECT_EQ(RecordOf(ProbeFile(wav)),
              "\"record\": {\"title\": \"Live.Set\", \"artist\": \"\", \"album\": \"\", \"length\": 1}}\n");

    const std::string flac = dir.Copy("tone-44100-stereo.flac", "tone.flac");
    EXPECT_EQ(RecordOf(ProbeFile(flac)),
              "\"record\": {\"title\": \"tone\", \"artist\": \"\", \"album\": \"\", \"length\": 1}}\n");

    const std::string noise = dir.Write("noise.mp3", std::string(4096, '\x55'));
    const std::string line = ProbeFile(noise);
    EXPECT_NE(line.find("\"id3\": {\"result\": 9"), std::string::npos) << line;
    EXPECT_NE(line.find("\"mpeg\": {\"result\": 12"), std::string::npos) << line;
    EXPECT_EQ(RecordOf(line),
              "\"record\": {\"title\": \"noise\", \"artist\": \"\", \"album\": \"\", \"length\": 0}}\n");

    const std::string broken = dir.Write("broken.wav", "RIFF....WAVEjunk");
    const std::string record = RecordOf(ProbeFile(broken));
    EXPECT_NE(record.find("\"length\": -"), std::string::npos) << record;
}

// Tag texts reach the record unchanged, whatever the script; the length is
// the frame scan's.
TEST(ProbeRecord, TaggedMp3GivesTheTagsTexts)
{
    fixtures::TempDir dir;
    const std::string tag =
        id3writer::Tag(4, id3writer::TextFrame(4, "TIT2", 3, "Über den Wolken \u6771\u4eac") +
                              id3writer::TextFrame(4, "TPE1", 1, "Пётр \U0001F3B5") +
                              id3writer::TextFrame(4, "TALB", 0, "Grüße"));
    const std::string file =
        dir.Write("SONG.MP3", tag + fixtures::ReadFile(fixtures::Path("tone-44100-cbr128.mp3")));
    EXPECT_EQ(RecordOf(ProbeFile(file)),
              "\"record\": {\"title\": \"Über den Wolken 東京\", \"artist\": \"Пётр \U0001F3B5\", "
              "\"album\": \"Grüße\", \"length\": 1}}\n");
}
