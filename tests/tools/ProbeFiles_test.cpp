#include "Probe.h"
#include "tests/support/Fixtures.h"
#include "tests/support/Id3Writer.h"

#include <gtest/gtest.h>

using namespace id3writer;

namespace {

std::string ProbeMp3(const std::string &path, const TAudioInfo *record, bool hasLength = true)
{
    TID3v2Tag tag;
    TMpegInfo mpeg;
    TMp3Result tagResult, mpegResult;
    ProbeReadMpeg(path, tag, tagResult, mpeg, mpegResult);
    return ProbeFileJson(path, &tag, tagResult, &mpeg, mpegResult, record, hasLength);
}

// A path as a JSON string: Windows paths carry backslashes.
std::string InJson(const std::string &path)
{
    std::string out;
    for (char c : path) {
        if (c == '\\')
            out += '\\';
        out += c;
    }
    return out;
}

} // namespace

TEST(ProbeFiles, TaggedMp3LineByteForByte)
{
    fixtures::TempDir dir;
    std::string tag = Tag(4,
                          TextFrame(4, "TIT2", 3, "Lied \"eins\"") + TextFrame(4, "TPE1", 1, "Björk") +
                              TextFrame(4, "TALB", 0, "Back\\slash"),
                          100);
    std::string path = dir.Write("a.mp3", tag + fixtures::ReadFile(fixtures::Path("tone-44100-cbr128.mp3")));
    TAudioInfo record{path, "Lied \"eins\"", "Björk", "Back\\slash", 1};
    EXPECT_EQ(
        ProbeMp3(path, &record),
        "{\"file\": \"" + InJson(path) +
            "\", \"id3\": {\"result\": 0, \"exists\": true, \"version\": 4, "
            "\"revision\": 0, \"size\": " +
            std::to_string(tag.size()) +
            ", \"padding\": 100, \"frames\": 3, "
            "\"title\": \"Lied \\\"eins\\\"\", \"artist\": \"Björk\", \"album\": \"Back\\\\slash\"}, "
            "\"mpeg\": {\"result\": 0, \"valid\": true, \"first_frame\": " +
            std::to_string(tag.size()) +
            ", \"version\": 1, \"layer\": 3, \"bitrate\": 128, \"sample_rate\": 44100, \"channel_mode\": 1, "
            "\"frame_count\": 41, \"duration\": 1, \"vbr\": false}, "
            "\"record\": {\"title\": \"Lied \\\"eins\\\"\", \"artist\": \"Björk\", \"album\": "
            "\"Back\\\\slash\", "
            "\"length\": 1}}\n");
}

TEST(ProbeFiles, FieldsWithoutMeaningAreZeroAndOtherFilesHaveOnlyTheRecord)
{
    fixtures::TempDir dir;
    std::string path = dir.Write("leer.mp3", "ID3\x05 nothing else");
    TAudioInfo record{path, "leer", "", "", 0};
    EXPECT_EQ(
        ProbeMp3(path, &record),
        "{\"file\": \"" + InJson(path) +
            "\", \"id3\": {\"result\": 10, \"exists\": false, \"version\": 0, "
            "\"revision\": 0, \"size\": 0, \"padding\": 0, \"frames\": 0, \"title\": \"\", \"artist\": \"\", "
            "\"album\": \"\"}, \"mpeg\": {\"result\": 12, \"valid\": false, \"first_frame\": 0, \"version\": "
            "0, "
            "\"layer\": 0, \"bitrate\": 0, \"sample_rate\": 0, \"channel_mode\": 0, \"frame_count\": 0, "
            "\"duration\": 0, \"vbr\": false}, \"record\": {\"title\": \"leer\", \"artist\": \"\", "
            "\"album\": \"\", \"length\": 0}}\n");

    TAudioInfo ogg{"/m/x.ogg", "x", "", "", -1};
    EXPECT_EQ(ProbeFileJson("/m/x.ogg", nullptr, mrOk, nullptr, mrOk, &ogg),
              "{\"file\": \"/m/x.ogg\", \"record\": {\"title\": \"x\", \"artist\": \"\", \"album\": \"\", "
              "\"length\": -1}}\n");
    EXPECT_EQ(ProbeFileJson("/m/x.ogg", nullptr, mrOk, nullptr, mrOk, &ogg, false),
              "{\"file\": \"/m/x.ogg\", \"record\": {\"title\": \"x\", \"artist\": \"\", \"album\": \"\", "
              "\"length\": null}}\n");
}

TEST(ProbeFiles, TextsOfEveryVersionAndEncodingComeBackUnchanged)
{
    fixtures::TempDir dir;
    const std::string audio = fixtures::ReadFile(fixtures::Path("tone-44100-vbr.mp3"));
    const char *ids[3][3] = {{"TT2", "TP1", "TAL"}, {"TIT2", "TPE1", "TALB"}, {"TIT2", "TPE1", "TALB"}};
    for (int version : {2, 3, 4}) {
        for (uint8_t encoding : {0, 1, 2, 3}) {
            std::string title = encoding == 0 ? "Äpfel über Öl" : "Ёлка 🎄";
            std::string artist = encoding == 0 ? "Straße" : "坂本龍一";
            std::string album = encoding == 0 ? "Grün" : "Ночь 夜 🌙";
            const char *const *id = ids[version - 2];
            std::string path = dir.Write(std::to_string(version) + std::to_string(encoding) + ".mp3",
                                         Tag(version, TextFrame(version, id[0], encoding, title) +
                                                          TextFrame(version, id[1], encoding, artist) +
                                                          TextFrame(version, id[2], encoding, album)) +
                                             audio);
            std::string line = ProbeMp3(path, nullptr);
            std::string expected = "\"frames\": 3, \"title\": \"" + title + "\", \"artist\": \"" + artist +
                                   "\", \"album\": \"" + album + "\"}";
            EXPECT_NE(line.find(expected), std::string::npos) << line;
            EXPECT_NE(line.find("\"vbr\": true"), std::string::npos) << line;
        }
    }
}

TEST(ProbeFiles, UnopenableFilesRaiseTheOpenError)
{
    TID3v2Tag tag;
    TMpegInfo mpeg;
    TMp3Result a, b;
    EXPECT_THROW(ProbeReadMpeg("/nonexistent/x.mp3", tag, a, mpeg, b), EFOpenError);
}
