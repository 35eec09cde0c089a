#include "tests/support/HostileCorpus.h"

#include "library/Mp3FileUtils.h"
#include "tests/support/Fixtures.h"
#include "tests/support/Id3Writer.h"
#include "tests/support/PosixOnly.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace hostile {

namespace {

std::string Le32(uint32_t v)
{
    return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}

// A 16-bit stereo WAV header whose data chunk claims bytes it does not have.
std::string WavClaiming(uint32_t dataBytes, const std::string &data)
{
    std::string fmt = Le32(16) + std::string("\x01\x00\x02\x00", 4) + Le32(44100) + Le32(44100 * 4) +
                      std::string("\x04\x00\x10\x00", 4);
    return "RIFF" + Le32(dataBytes + 36) + "WAVEfmt " + fmt + "data" + Le32(dataBytes) + data;
}

// Corrupts one byte in the middle of the Ogg page that starts after offset.
std::string BreakOggPage(std::string ogg, size_t after)
{
    size_t page = ogg.find("OggS", after);
    if (page != std::string::npos && page + 100 < ogg.size())
        ogg[page + 60] = static_cast<char>(ogg[page + 60] ^ 0x5A);
    return ogg;
}

struct OggPage {
    size_t start = std::string::npos;
    size_t end = std::string::npos;
};

// The first page that carries audio: the first with a granule position
// other than 0 (the header pages have 0).
OggPage FirstAudioPage(const std::string &ogg)
{
    for (size_t at = 0; at + 27 <= ogg.size();) {
        if (ogg.compare(at, 4, "OggS") != 0)
            break;
        const auto *p = reinterpret_cast<const unsigned char *>(ogg.data() + at);
        uint64_t granule = 0;
        for (int i = 7; i >= 0; --i)
            granule = granule << 8 | p[6 + i];
        const size_t segments = p[26];
        size_t body = 0;
        for (size_t i = 0; i < segments && at + 27 + i < ogg.size(); ++i)
            body += p[27 + i];
        const size_t end = at + 27 + segments + body;
        if (granule != 0 && granule != ~uint64_t(0))
            return {at, std::min(end, ogg.size())};
        at = end;
    }
    return {};
}

// The tagged tone of about two seconds that follows the giant frame's tag.
std::string MpegAudio(size_t bytes)
{
    std::string mp3 = fixtures::ReadFile(fixtures::Path("tone-44100-cbr128.mp3"));
    TMemoryStream stream(mp3);
    TMpegInfo info;
    info.ScanStream(stream);
    return mp3.substr(static_cast<size_t>(std::max<int64_t>(info.FirstFramePosition, 0)), bytes);
}

} // namespace

std::string RandomBytes(size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char &c : s)
        c = static_cast<char>(rng());
    return s;
}

std::vector<Input> Inputs()
{
    using namespace id3writer;
    std::string mp3 = fixtures::ReadFile(fixtures::Path("tone-44100-cbr128.mp3"));
    std::string ogg = fixtures::ReadFile(fixtures::Path("tone-44100-4s.ogg"));
    std::string wav = fixtures::ReadFile(fixtures::Path("tone-44100-stereo.wav"));
    std::string aif = fixtures::ReadFile(fixtures::Path("tone-44100-stereo.aif"));
    const OggPage audio = FirstAudioPage(ogg);
    std::string oggHeaders = ogg.substr(0, audio.start);
    std::string oggOnlyPageBroken = BreakOggPage(ogg.substr(0, audio.end), audio.start);
    return {
        {"empty.mp3", "", false},
        {"empty.wav", "", false},
        {"zeros.mp3", std::string(70000, '\0'), false},
        {"ones.mp3", std::string(70000, '\xff'), false},
        {"random.mp3", RandomBytes(100000, 1), false},
        {"random.ogg", RandomBytes(50000, 2), false},
        {"random.wav", RandomBytes(50000, 3), false},
        {"random-riff.wav", "RIFF" + RandomBytes(40000, 4), false},
        {"oggs-junk.ogg", "OggS" + RandomBytes(40000, 5), false},
        {"id3-only.mp3", std::string("ID3\x04\x00\x00\x00\x00\x02\x00", 10) + std::string(256, '\0'), false},
        {"id3-huge.mp3", std::string("ID3\x04\x00\x00\x7f\x7f\x7f\x7f", 10) + RandomBytes(1000, 6), false},
        {"id3-frame-over-cap.mp3",
         Tag(3, TextFrame(3, "TPE1", 0, "Vorher") + FrameWithSize(3, "TIT2", 0x7FFFFFFFu, "\x00Titel")) + mp3,
         true},
        {"giant-frame-head.mp3", GiantFrameHead(), true},
        {"header-only.wav", wav.substr(0, 44), true},
        {"wav-4gib.wav", WavClaiming(0xFFFFFFF0u, wav.substr(44, 40000)), true},
        {"wav-odd.wav", WavClaiming(0xFFFFFFF0u, wav.substr(44, 40001)), true},
        {"mp3-cut-in-frame.mp3", mp3.substr(0, mp3.size() / 2 + 97), true},
        {"mp3-head.mp3", mp3.substr(0, 1000), true},
        {"mp3-damaged.mp3", mp3.substr(0, 3000) + RandomBytes(2000, 7) + mp3.substr(5000), true},
        {"ogg-bad-crc.ogg", BreakOggPage(ogg, ogg.size() / 2), true},
        {"ogg-cut.ogg", ogg.substr(0, ogg.size() * 3 / 4 + 33), true},
        {"ogg-headers-cut.ogg", ogg.substr(0, 300), false},
        {"ogg-headers-only.ogg", oggHeaders, false},
        {"ogg-cut-in-first-audio-page.ogg", ogg.substr(0, audio.start + (audio.end - audio.start) / 2),
         false},
        {"ogg-only-audio-page-bad-crc.ogg", oggOnlyPageBroken, false},
        {"aif-cut.aif", aif.substr(0, aif.size() / 3 + 1), true},
        {"wav-as-mp3.mp3", wav, true},
    };
}

std::string GiantFrameHead()
{
    using namespace id3writer;
    constexpr uint32_t tagContent = 4096;
    std::string frames =
        TextFrame(3, "TPE1", 0, "Riese") + FrameWithSize(3, "TIT2", GiantFrameSize, "\x00Titel");
    std::string tag = TagHeader(3, tagContent) + frames;
    tag.resize(10 + tagContent, '\0');
    return tag + MpegAudio(32 * 1024);
}

bool WriteSparse(const std::string &path, const std::string &head, uint64_t size)
{
    // The head written, the rest a hole the file system need not store.
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool ok = std::fwrite(head.data(), 1, head.size(), file) == head.size();
    ok = std::fclose(file) == 0 && ok;
    std::error_code error;
    if (ok)
        std::filesystem::resize_file(path, size, error);
    ok = ok && !error;
    if (!ok)
        std::remove(path.c_str());
    return ok;
}

bool SparseFilesWork(const std::string &folder)
{
#if defined(_WIN32)
    // Windows files are not sparse unless asked to be; giant files would be written out.
    static_cast<void>(folder);
    return false;
#else
    const std::string path = folder + ".sparse-check";
    if (!WriteSparse(path, "x", SparseFileSize))
        return false;
    struct stat st;
    bool sparse = ::stat(path.c_str(), &st) == 0 && uint64_t(st.st_blocks) * 512 < (uint64_t(1) << 20);
    ::unlink(path.c_str());
    return sparse;
#endif
}

std::string MakeFifo(const std::string &folder, const std::string &name)
{
    std::string path = folder + name;
    return ::mkfifo(path.c_str(), 0644) == 0 ? path : std::string();
}

std::string MakeLatin1Named(const std::string &folder)
{
    using namespace id3writer;
    std::string bytes = Tag(3, TextFrame(3, "TPE1", 0, "Gruppe") + TextFrame(3, "TALB", 0, "Namen")) +
                        fixtures::ReadFile(fixtures::Path("tone-44100-cbr128.mp3"));
    std::string path = folder + "M\xfcller.mp3";
    return WriteSparse(path, bytes, bytes.size()) ? path : std::string();
}

int WriteInputs(const std::string &folder)
{
    int written = 0;
    for (const Input &in : Inputs())
        written += WriteSparse(folder + in.name, in.bytes, in.bytes.size());
    return written;
}

} // namespace hostile
