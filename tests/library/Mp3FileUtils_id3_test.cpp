#include "library/Mp3FileUtils.h"
#include "platform/Text.h"
#include "tests/support/Fixtures.h"
#include "tests/support/Id3Writer.h"
#include "tests/support/TestHooks.h"

#include <gtest/gtest.h>

using namespace id3writer;

namespace {

std::string Utf8(const std::u16string &text)
{
    return platform::Utf16ToUtf8(text);
}

struct Read {
    TID3v2Tag tag;
    TMp3Result result;
    explicit Read(const std::string &bytes)
    {
        TMemoryStream stream(bytes);
        stream.SetPosition(7); // the reader starts at 0 wherever the stream stands
        result = tag.ReadTag(stream);
    }
};

std::u16string Decode(uint8_t encoding, const std::string &bytes)
{
    return TID3v2Tag::DecodeFrameText(encoding, reinterpret_cast<const uint8_t *>(bytes.data()),
                                      static_cast<int64_t>(bytes.size()));
}

} // namespace

TEST(ID3v2Header, ShortOrForeignOrUnsupportedInputLeavesNoTag)
{
    for (const std::string &bytes :
         {std::string(), std::string("I"), std::string("ID3"), std::string("ID3\x03\0\0\0\0", 9)}) {
        Read r(bytes);
        EXPECT_EQ(r.result, mrReadError) << bytes.size();
        EXPECT_FALSE(r.tag.TagExists);
        EXPECT_EQ(r.tag.Title(), u"");
    }
    Read foreign("id3\x03" + std::string(20, '\0'));
    EXPECT_EQ(foreign.result, mrNoTag);

    Read v5(TagHeader(5, 100) + std::string(100, '\0'));
    EXPECT_EQ(v5.result, mrUnsupportedVersion);
    EXPECT_FALSE(v5.tag.TagExists);
    EXPECT_EQ(v5.tag.TagSize, 0);
    EXPECT_EQ(v5.tag.MajorVersion, 3);
}

TEST(ID3v2Header, PaddingAfterTheFramesIsMeasuredToTheTagEnd)
{
    std::string frames = TextFrame(3, "TIT2", 0, "Lied") + TextFrame(3, "TPE1", 0, "Anna");
    Read r(TagHeader(3, 1000) + frames + std::string(1000 - frames.size(), '\0') + "audio");
    EXPECT_EQ(r.result, mrOk);
    EXPECT_TRUE(r.tag.TagExists);
    EXPECT_EQ(r.tag.TagSize, 1010);
    EXPECT_EQ(r.tag.PaddingSize, static_cast<int>(1000 - frames.size()));
    EXPECT_EQ(r.tag.Frames.size(), 2u);
    EXPECT_EQ(Utf8(r.tag.Title()), "Lied");
    EXPECT_EQ(Utf8(r.tag.Artist()), "Anna");
}

TEST(ID3v2Header, FramesThatFillTheTagLeaveNoPadding)
{
    Read r(Tag(3, TextFrame(3, "TIT2", 0, "A") + TextFrame(3, "TALB", 0, "B")) + "\xFF\xFB");
    EXPECT_EQ(r.result, mrOk);
    EXPECT_EQ(r.tag.PaddingSize, 0);
    EXPECT_EQ(r.tag.Frames.size(), 2u);
}

TEST(ID3v2Header, FlagsRevisionFooterAndExtendedHeaders)
{
    Read footer(TagHeader(4, 50, 0x10, 7) + std::string(50, '\0') + "3DI" + std::string(7, '\0'));
    EXPECT_EQ(footer.tag.TagSize, 70);
    EXPECT_TRUE(footer.tag.HasFooter);
    EXPECT_EQ(footer.tag.MajorVersion, 4);
    EXPECT_EQ(footer.tag.Revision, 7);

    // The footer bit means nothing in version 3, nor bits 6 and 5 in version 2.
    EXPECT_EQ(Read(TagHeader(3, 50, 0x10) + std::string(50, '\0')).tag.TagSize, 60);
    Read v2(TagHeader(2, 20, 0x60) + std::string(20, '\0'));
    EXPECT_FALSE(v2.tag.HasExtendedHeader);
    EXPECT_FALSE(v2.tag.Experimental);

    // Version 3: a size field of 6 does not count itself, so the first frame is at 20.
    std::string v3ext = BigEndian(6, 4) + std::string(6, '\0');
    Read v3(Tag(3, v3ext + TextFrame(3, "TIT2", 0, "Erster"), 0, 0x60));
    EXPECT_EQ(v3.result, mrOk);
    EXPECT_TRUE(v3.tag.HasExtendedHeader);
    EXPECT_TRUE(v3.tag.Experimental);
    ASSERT_EQ(v3.tag.Frames.size(), 1u);
    EXPECT_EQ(Utf8(v3.tag.Title()), "Erster");

    // Version 4: the synchsafe size counts the whole extended header.
    std::string v4ext = Synchsafe(12) + std::string(8, '\0');
    Read v4(Tag(4, v4ext + TextFrame(4, "TIT2", 3, "Vier"), 0, 0x40));
    ASSERT_EQ(v4.tag.Frames.size(), 1u);
    EXPECT_EQ(Utf8(v4.tag.Title()), "Vier");
}

TEST(ID3v2Frames, Version2IdsAndTheLaterDuplicateWins)
{
    Read v2(Tag(2, TextFrame(2, "TT2", 0, "Titel") + TextFrame(2, "TP1", 0, "Interpret") +
                       TextFrame(2, "TAL", 0, "Album") + TextFrame(2, "TIT", 0, "nicht")));
    EXPECT_EQ(v2.result, mrOk);
    EXPECT_EQ(Utf8(v2.tag.Title()), "Titel");
    EXPECT_EQ(Utf8(v2.tag.Artist()), "Interpret");
    EXPECT_EQ(Utf8(v2.tag.Album()), "Album");
    EXPECT_EQ(v2.tag.Frames[0].Header.size(), 6u);

    Read twice(Tag(3, TextFrame(3, "TIT2", 0, "Erster") + TextFrame(3, "TIT2", 0, "Zweiter"), 10));
    EXPECT_EQ(twice.tag.Frames.size(), 2u);
    EXPECT_EQ(twice.tag.IndexOfFrame(ftTitle), 1);
    EXPECT_EQ(Utf8(twice.tag.Title()), "Zweiter");
    EXPECT_EQ(twice.tag.IndexOfFrame(ftAlbum), -1);
    EXPECT_EQ(twice.tag.Album(), u"");

    // Version 4 names the recording time TDRC, version 3 TYER.
    EXPECT_EQ(Utf8(Read(Tag(4, TextFrame(4, "TDRC", 0, "2001"))).tag.FrameText(ftYear)), "2001");
    EXPECT_EQ(Read(Tag(4, TextFrame(4, "TYER", 0, "2001"))).tag.FrameText(ftYear), u"");
}

TEST(ID3v2Frames, AFrameIdOutsideDigitsAndCapitalsEndsTheWalk)
{
    std::string first = TextFrame(3, "TIT2", 0, "Vorher");
    std::string rest = TextFrame(3, "Tpe1", 0, "klein") + TextFrame(3, "TALB", 0, "danach");
    Read r(Tag(3, first + rest));
    EXPECT_EQ(r.result, mrOk);
    EXPECT_EQ(r.tag.Frames.size(), 1u);
    EXPECT_EQ(r.tag.PaddingSize, static_cast<int>(rest.size()));
    EXPECT_EQ(r.tag.Album(), u"");

    Read garbage(Tag(3, "\x01\x02garbage" + first));
    EXPECT_EQ(garbage.result, mrOk);
    EXPECT_TRUE(garbage.tag.Frames.empty());
}

TEST(ID3v2Frames, HeaderAndBodyAreKeptAsStored)
{
    std::string frame = Frame(3, "TIT2", TextBody(0, "Lied"), 0x1234);
    Read r(Tag(3, frame));
    ASSERT_EQ(r.tag.Frames.size(), 1u);
    const TID3v2Frame &f = r.tag.Frames[0];
    EXPECT_EQ(f.ID, "TIT2");
    EXPECT_EQ(f.Size, 5);
    EXPECT_EQ(std::string(f.Header.begin(), f.Header.end()), frame.substr(0, 10));
    EXPECT_EQ(std::string(f.Data.begin(), f.Data.end()), TextBody(0, "Lied"));

    Read empty(Tag(3, Frame(3, "TIT2", "") + TextFrame(3, "TALB", 4, "x")));
    EXPECT_EQ(empty.tag.Frames.size(), 2u);
    EXPECT_EQ(empty.tag.Title(), u"");
    EXPECT_EQ(empty.tag.Album(), u"");
}

TEST(ID3v2Frames, AFrameBodyRunningPastTheTagEndIsReadWhole)
{
    std::string frame = TextFrame(3, "TIT2", 0, "Ueber das Ende");
    Read r(TagHeader(3, 12) + frame + "tail");
    EXPECT_EQ(r.result, mrOk);
    EXPECT_EQ(Utf8(r.tag.Title()), "Ueber das Ende");
}

// A declared size beyond the stream is refused before anything is allocated,
// without an error box; the frames before it remain.
TEST(ID3v2Frames, ADeclaredSizeBeyondTheFileIsAReadErrorAndNotAFrame)
{
    testing_hooks::TestMainThread hooks;
    for (uint32_t declared : {40u, 0x7FFFFFFFu, 0xFFFFFFF0u}) {
        Read r(Tag(3, TextFrame(3, "TPE1", 0, "Anna") +
                          FrameWithSize(3, "TIT2", declared, TextBody(0, "kurz")) + std::string(20, '\0')));
        EXPECT_EQ(r.result, declared == 0xFFFFFFF0u ? mrOk : mrReadError) << declared;
        EXPECT_TRUE(r.tag.TagExists);
        EXPECT_EQ(Utf8(r.tag.Artist()), "Anna");
        if (declared != 0xFFFFFFF0u) {
            EXPECT_EQ(r.tag.Frames.size(), 1u);
            EXPECT_EQ(r.tag.Title(), u"");
        }
    }
    // Version 4 with every size bit set and an earlier title: the refused frame does not win.
    Read v4(Tag(4, TextFrame(4, "TIT2", 0, "Bleibt") + std::string("TIT2\xFF\xFF\xFF\xFF\0\0", 10) + "x"));
    EXPECT_EQ(v4.result, mrReadError);
    EXPECT_EQ(v4.tag.Frames.size(), 1u);
    EXPECT_EQ(Utf8(v4.tag.Title()), "Bleibt");
    EXPECT_TRUE(hooks.Boxes().empty());
}

TEST(ID3v2Frames, HostileTagsEndCleanly)
{
    // A tag size far beyond the file, with every size bit set.
    Read huge(std::string("ID3\x03\0\0\xFF\xFF\xFF\xFF", 10) + TextFrame(3, "TIT2", 0, "A"));
    EXPECT_EQ(huge.result, mrOk);
    EXPECT_GT(huge.tag.TagSize, 500000000);
    EXPECT_EQ(Utf8(huge.tag.Title()), "A");
    // A frame header cut off by the end of the file.
    Read cut(TagHeader(3, 100) + TextFrame(3, "TIT2", 0, "A") + "TAL");
    EXPECT_EQ(cut.result, mrReadError);
    EXPECT_EQ(cut.tag.Frames.size(), 1u);
    // A negative version-3 size gives a frame without body; the walk goes on.
    Read negative(Tag(3, FrameWithSize(3, "TXXX", 0x80000000u, "") + TextFrame(3, "TIT2", 0, "B")));
    ASSERT_EQ(negative.tag.Frames.size(), 2u);
    EXPECT_LT(negative.tag.Frames[0].Size, 0);
    EXPECT_EQ(Utf8(negative.tag.Title()), "B");
    // An extended header that claims more than the file holds.
    Read ext(
        Tag(3, BigEndian(0xFFFFFFF0u, 4) + std::string(2, '\0') + TextFrame(3, "TIT2", 0, "C"), 0, 0x40));
    EXPECT_EQ(ext.result, mrOk);
    EXPECT_TRUE(ext.tag.Frames.empty());
}

TEST(ID3v2Text, TheThreeTwoLetterCasesAndTrimming)
{
    EXPECT_EQ(Decode(1, std::string("\xFF\xFE\x41\0\x42\0\0\0", 8)), u"AB");
    EXPECT_EQ(Decode(1, std::string("\xFE\xFF\0\x41\0\x42", 6)), u"AB");
    EXPECT_EQ(Decode(2, std::string("\0\x41\0\x42", 4)), u"AB");
    EXPECT_EQ(Decode(1, std::string("\xFF\xFE\x41\0\x42\0\x43", 7)), u"AB"); // odd byte ignored
    EXPECT_EQ(Decode(1, std::string("\xFF\xFE", 2)), u"");
    EXPECT_EQ(Decode(0, std::string("  Wort\0", 7)), u"Wort");
    EXPECT_EQ(Decode(0, std::string("\x01 A\0B \x1F", 7)), std::u16string(u"A\0B", 3)); // inner NUL stays
    EXPECT_EQ(Decode(0, "\xE4\xFF"), u"\u00E4\u00FF");
    EXPECT_EQ(Decode(4, "abc"), u"");
    EXPECT_EQ(Decode(0, ""), u"");
}

TEST(ID3v2Text, Utf8DecodesFourByteSequencesAndRefusesBrokenOnes)
{
    EXPECT_EQ(Decode(3, "K\xC3\xA4se \xE2\x82\xAC \xF0\x9F\x8E\xB5"), u"K\u00E4se \u20AC \U0001F3B5");
    EXPECT_EQ(Decode(3, "abc\xC3"), u"");
    EXPECT_EQ(Decode(3, "\xF0\x9F\x8E"), u"");
    EXPECT_EQ(Decode(3, "a\xE2\x28\xA1"), u"");
    EXPECT_EQ(Decode(3, "a\x80"), u"");
    EXPECT_EQ(Decode(3, "\xF4\x90\x80\x80"), u""); // beyond U+10FFFF
}

TEST(ID3v2Text, EveryVersionAndEncodingComesBackCharacterForCharacter)
{
    const std::string latin = "Grüße aus Köln ÄÖÜß";
    const std::string texts[] = {"Звёздное небо", "東京の夜 音楽", "Tanz 💃🎶 Nacht", latin};
    const char *ids[3][3] = {{"TT2", "TP1", "TAL"}, {"TIT2", "TPE1", "TALB"}, {"TIT2", "TPE1", "TALB"}};
    for (int version : {2, 3, 4}) {
        for (uint8_t encoding : {0, 1, 2, 3}) {
            const std::string &title = encoding == 0 ? latin : texts[0];
            const std::string &artist = encoding == 0 ? latin : texts[1];
            const std::string &album = encoding == 0 ? latin : texts[2];
            const char *const *id = ids[version - 2];
            Read r(Tag(version,
                       TextFrame(version, id[0], encoding, title) +
                           TextFrame(version, id[1], encoding, artist) +
                           TextFrame(version, id[2], encoding, album),
                       64));
            SCOPED_TRACE("version " + std::to_string(version) + " encoding " + std::to_string(encoding));
            EXPECT_EQ(r.result, mrOk);
            EXPECT_EQ(Utf8(r.tag.Title()), title);
            EXPECT_EQ(Utf8(r.tag.Artist()), artist);
            EXPECT_EQ(Utf8(r.tag.Album()), album);
        }
    }
}

// Versions 2 and 3 unsynchronise the whole tag after its header; the reader
// undoes it before the extended header and the frames are read.
TEST(ID3v2Unsynchronisation, WholeTagOfVersions2And3IsUndone)
{
    const std::string title = "\xC3\xBF\xC3\xBF Stra\xC3\x9F"
                              "e"; // ÿÿ Straße: FF bytes in every encoding but UTF-8
    for (int version : {2, 3}) {
        for (uint8_t encoding : {0, 1, 2}) {
            std::string ext = version == 3 ? BigEndian(6, 4) + std::string(6, '\0') : std::string();
            std::string frames = TextFrame(version, version == 2 ? "TT2" : "TIT2", encoding, title) +
                                 TextFrame(version, version == 2 ? "TAL" : "TALB", 0, "\xC3\xBF");
            std::string plain = ext + frames + std::string(30, '\0');
            std::string stored = Unsynchronise(plain);
            ASSERT_NE(stored, plain);
            uint8_t flags = version == 3 ? 0xC0 : 0x80;
            Read r(TagHeader(version, static_cast<uint32_t>(stored.size()), flags) + stored +
                   "\xFF\xFB\x90\x00");
            SCOPED_TRACE(version * 10 + encoding);
            EXPECT_EQ(r.result, mrOk);
            EXPECT_TRUE(r.tag.Unsynchronised);
            EXPECT_EQ(r.tag.TagSize, static_cast<int>(stored.size() + 10));
            EXPECT_EQ(r.tag.Frames.size(), 2u);
            EXPECT_EQ(Utf8(r.tag.Title()), title);
            EXPECT_EQ(Utf8(r.tag.Album()), "\xC3\xBF");
            EXPECT_EQ(r.tag.PaddingSize, 30);
        }
    }
}

TEST(ID3v2Unsynchronisation, Version4FramesUndoTheirOwnAndSkipTheDataLength)
{
    std::string body = TextBody(1, "\xC3\xBF Nacht");
    Read unsync(Tag(4, Frame(4, "TIT2", Unsynchronise(body), 0x0002)));
    EXPECT_EQ(Utf8(unsync.tag.Title()), "\xC3\xBF Nacht");
    EXPECT_EQ(unsync.tag.Frames[0].Size, static_cast<int>(Unsynchronise(body).size()));

    Read both(Tag(4, Frame(4, "TIT2", Unsynchronise(Synchsafe(body.size()) + body), 0x0003)));
    EXPECT_EQ(Utf8(both.tag.Title()), "\xC3\xBF Nacht");

    Read length(Tag(4, Frame(4, "TALB", Synchsafe(5) + TextBody(0, "Tief"), 0x0001)));
    EXPECT_EQ(Utf8(length.tag.Album()), "Tief");

    Read shortBody(Tag(4, Frame(4, "TALB", "\0\0\0", 0x0001)));
    EXPECT_EQ(shortBody.tag.Album(), u"");

    // Version 3 frames with the same flag bits are used as stored.
    Read v3(Tag(3, Frame(3, "TIT2", TextBody(0, "Drei"), 0x0003)));
    EXPECT_EQ(Utf8(v3.tag.Title()), "Drei");
}

TEST(ID3v2Reader, AFailureOtherThanAShortReadShowsTheErrorBox)
{
    class FailingStream : public TMemoryStream {
    public:
        using TMemoryStream::TMemoryStream;
        int64_t Read(void *buffer, int64_t count) override
        {
            if (GetPosition() >= 10)
                throw std::runtime_error("Lesefehler auf dem Datenträger");
            return TMemoryStream::Read(buffer, count);
        }
    };
    testing_hooks::TestMainThread hooks;
    FailingStream stream(Tag(3, TextFrame(3, "TIT2", 0, "A")));
    TID3v2Tag tag;
    EXPECT_EQ(tag.ReadTag(stream), mrException);
    EXPECT_TRUE(tag.TagExists);
    EXPECT_EQ(tag.TagSize, 10 + 10 + 2);
    ASSERT_EQ(hooks.Boxes().size(), 1u);
    EXPECT_EQ(hooks.Boxes()[0].caption, "Error");
    EXPECT_EQ(hooks.Boxes()[0].text, "Lesefehler auf dem Datenträger");
}

TEST(ID3v2Reader, ReadingAgainStartsFromTheResetState)
{
    TID3v2Tag tag;
    TMemoryStream first(Tag(4, TextFrame(4, "TIT2", 0, "A"), 0, 0x10));
    EXPECT_EQ(tag.ReadTag(first), mrOk);
    TMemoryStream second("no tag here");
    EXPECT_EQ(tag.ReadTag(second), mrNoTag);
    EXPECT_FALSE(tag.TagExists);
    EXPECT_FALSE(tag.HasFooter);
    EXPECT_EQ(tag.MajorVersion, 3);
    EXPECT_TRUE(tag.Frames.empty());
    EXPECT_EQ(tag.Title(), u"");
}

// Frames of every size, across the chunks the reader takes from the file,
// come back byte for byte.
TEST(ID3v2Reader, LargeAndOddSizedFramesComeBackWhole)
{
    std::vector<std::string> bodies;
    std::string frames;
    for (size_t size : {1u, 4095u, 4096u, 4097u, 30u * 1024u, 9u, 8191u, 3u, 70000u}) {
        std::string body;
        for (size_t i = 0; i < size; ++i)
            body += static_cast<char>((i * 31 + size) % 251);
        bodies.push_back(body);
        frames += Frame(3, "APIC", body);
    }
    frames += TextFrame(3, "TIT2", 0, "Ende");
    for (size_t skew : {0u, 1u, 4090u, 14230u}) {
        std::string tag = Tag(3, Frame(3, "TXXX", std::string(skew, 'x')) + frames, 333);
        fixtures::TempDir dir;
        TTntFileStream file(platform::Utf8ToUtf16(dir.Write("gross.mp3", tag + "\xFF\xFB")));
        TID3v2Tag tag3;
        ASSERT_EQ(tag3.ReadTag(file), mrOk);
        ASSERT_EQ(tag3.Frames.size(), bodies.size() + 2);
        for (size_t i = 0; i < bodies.size(); ++i)
            EXPECT_TRUE(std::string(tag3.Frames[i + 1].Data.begin(), tag3.Frames[i + 1].Data.end()) ==
                        bodies[i])
                << i;
        EXPECT_EQ(Utf8(tag3.Title()), "Ende");
        EXPECT_EQ(tag3.PaddingSize, 333);
    }
}

// Frames above the cap are passed over unread, as if absent; the walk goes
// on behind them. One of exactly the cap is still held.
TEST(ID3v2Frames, FramesAboveTheCapArePassedOverAsIfAbsent)
{
    const std::string atCap(static_cast<size_t>(TID3v2Tag::MaxFrameSize), 'p');
    const std::string aboveCap = atCap + "p";
    for (int version : {3, 4}) {
        SCOPED_TRACE(version);
        Read r(Tag(version, TextFrame(version, "TIT2", 0, "Erster") + Frame(version, "APIC", aboveCap) +
                                TextFrame(version, "TPE1", 0, "Danach") + Frame(version, "APIC", atCap) +
                                FrameWithSize(version, "TIT2", uint32_t(aboveCap.size()), aboveCap)));
        EXPECT_EQ(r.result, mrOk);
        ASSERT_EQ(r.tag.Frames.size(), 3u);
        EXPECT_EQ(r.tag.Frames[1].ID, "TPE1");
        EXPECT_EQ(r.tag.Frames[2].Data.size(), atCap.size());
        EXPECT_EQ(Utf8(r.tag.Title()), "Erster"); // the giant title after it does not win
        EXPECT_EQ(Utf8(r.tag.Artist()), "Danach");
    }
}

TEST(ID3v2Frames, TheWalkEndsAtAStopRequest)
{
    std::string frames;
    for (int i = 0; i < 50; ++i)
        frames += TextFrame(3, "TXXX", 0, "x");
    TMemoryStream stream(Tag(3, frames + TextFrame(3, "TIT2", 0, "Spaet")));
    std::atomic<bool> stop{false};
    TID3v2Tag tag;
    tag.StopRequest = &stop;
    EXPECT_EQ(tag.ReadTag(stream), mrOk);
    EXPECT_EQ(tag.Frames.size(), 51u);
    stop = true;
    tag.ReadTag(stream);
    EXPECT_TRUE(tag.TagExists);
    EXPECT_TRUE(tag.Frames.empty());
}
