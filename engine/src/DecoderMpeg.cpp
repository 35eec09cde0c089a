// MPEG-1/2/2.5 audio, layers I-III, through libmpg123.
//
// Before libmpg123 sees the file, the audio is located and cut out: a
// leading ID3v2 tag is skipped, trailing ID3v1 and APE tags are cut off, and
// the first frame must start a chain of consecutive, consistent frame
// headers. Random bytes therefore never open as an MPEG stream, and tags
// never reach the decoder as noise.
#include "Decoder.h"

#include <cstring>
#include <mpg123.h>
#include <mutex>
#include <vector>

namespace klang {
namespace {

struct FrameHeader {
    int version; // 0 MPEG-2.5, 2 MPEG-2, 3 MPEG-1
    int layer;   // 1..3
    int rate;
    int length; // bytes, header included
};

bool ParseHeader(const uint8_t *h, FrameHeader &out)
{
    static const int kBitrates[2][3][15] = {
        {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
         {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
         {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
        {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
    static const int kRates[4][3] = {
        {11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0)
        return false;
    int version = (h[1] >> 3) & 3;
    int layerBits = (h[1] >> 1) & 3;
    int bitrateIndex = h[2] >> 4;
    int rateIndex = (h[2] >> 2) & 3;
    int padding = (h[2] >> 1) & 1;
    if (version == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3 ||
        (h[3] & 3) == 2)
        return false;
    int layer = 4 - layerBits;
    int bitrate = kBitrates[version == 3 ? 0 : 1][layer - 1][bitrateIndex] * 1000;
    int rate = kRates[version][rateIndex];
    int length;
    if (layer == 1)
        length = (12 * bitrate / rate + padding) * 4;
    else if (layer == 3 && version != 3)
        length = 72 * bitrate / rate + padding;
    else
        length = 144 * bitrate / rate + padding;
    if (length < 24)
        return false;
    out = {version, layer, rate, length};
    return true;
}

// How far into the audio the first frame may start (junk, padding).
constexpr int64_t kSearchLimit = 64 * 1024;
constexpr int kChainFrames = 4;

// The offset of the first frame that starts a chain of consistent frames in
// [from, end), or -1.
int64_t FindFrameChain(Source &source, int64_t from, int64_t end)
{
    std::vector<uint8_t> buf;
    int64_t span = std::min<int64_t>(end - from, kSearchLimit + kChainFrames * 2881 + 4);
    if (span < 4)
        return -1;
    buf.resize(static_cast<size_t>(span));
    buf.resize(source.ReadAt(from, buf.data(), buf.size()));
    int64_t have = static_cast<int64_t>(buf.size());
    for (int64_t start = 0; start + 4 <= have && start <= kSearchLimit; ++start) {
        FrameHeader first;
        if (!ParseHeader(&buf[static_cast<size_t>(start)], first))
            continue;
        int64_t at = start;
        int chained = 0;
        bool ok = true;
        while (chained < kChainFrames) {
            FrameHeader h;
            if (at + 4 > have || !ParseHeader(&buf[static_cast<size_t>(at)], h) ||
                h.version != first.version || h.layer != first.layer || h.rate != first.rate) {
                ok = false;
                break;
            }
            ++chained;
            at += h.length;
            // A short file may end after fewer frames, but exactly on a frame.
            if (from + at == end && chained >= 2)
                break;
        }
        if (ok)
            return from + start;
    }
    return -1;
}

int64_t Id3v2Size(Source &source)
{
    uint8_t h[10];
    if (source.ReadAt(0, h, 10) != 10 || std::memcmp(h, "ID3", 3) != 0 || h[3] == 0xFF || h[4] == 0xFF ||
        ((h[6] | h[7] | h[8] | h[9]) & 0x80))
        return 0;
    int64_t size = (int64_t(h[6]) << 21) | (int64_t(h[7]) << 14) | (int64_t(h[8]) << 7) | h[9];
    return 10 + size + ((h[5] & 0x10) ? 10 : 0);
}

// The end of the audio once trailing ID3v1 and APE tags are cut off.
int64_t AudioEnd(Source &source)
{
    int64_t end = source.Size();
    for (int pass = 0; pass < 2; ++pass) {
        uint8_t tag[3];
        if (end >= 128 && source.ReadAt(end - 128, tag, 3) == 3 && std::memcmp(tag, "TAG", 3) == 0) {
            end -= 128;
            continue;
        }
        uint8_t footer[32];
        if (end >= 32 && source.ReadAt(end - 32, footer, 32) == 32 &&
            std::memcmp(footer, "APETAGEX", 8) == 0) {
            int64_t size = footer[12] | (footer[13] << 8) | (footer[14] << 16) | (int64_t(footer[15]) << 24);
            bool header = footer[23] & 0x80;
            int64_t total = size + (header ? 32 : 0);
            if (total >= 32 && total <= end) {
                end -= total;
                continue;
            }
        }
        break;
    }
    return end;
}

ssize_t CbRead(void *user, void *buffer, size_t bytes)
{
    return static_cast<ssize_t>(static_cast<Source *>(user)->Read(buffer, bytes));
}

off_t CbSeek(void *user, off_t offset, int whence)
{
    auto *s = static_cast<Source *>(user);
    int64_t base = whence == SEEK_CUR ? s->Tell() : whence == SEEK_END ? s->Size() : 0;
    if (!s->Seek(base + offset))
        return -1;
    return static_cast<off_t>(s->Tell());
}

class MpegDecoder final : public Decoder {
public:
    explicit MpegDecoder(std::unique_ptr<Source> s) : source(std::move(s)) {}
    ~MpegDecoder() override
    {
        if (handle) {
            mpg123_close(handle);
            mpg123_delete(handle);
        }
    }

    bool Open()
    {
        static std::once_flag once;
        std::call_once(once, [] { mpg123_init(); });
        int err = 0;
        handle = mpg123_new(nullptr, &err);
        if (!handle)
            return false;
        mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET | MPG123_FORCE_FLOAT, 0);
        mpg123_param(handle, MPG123_RESYNC_LIMIT, 2048, 0);
        if (mpg123_replace_reader_handle(handle, CbRead, CbSeek, nullptr) != MPG123_OK ||
            mpg123_open_handle(handle, source.get()) != MPG123_OK)
            return false;
        long r = 0;
        int ch = 0, enc = 0;
        if (mpg123_getformat(handle, &r, &ch, &enc) != MPG123_OK || ch < 1 || ch > 2 || r <= 0)
            return false;
        mpg123_format_none(handle);
        if (mpg123_format(handle, r, ch, MPG123_ENC_FLOAT_32) != MPG123_OK)
            return false;
        if (mpg123_scan(handle) != MPG123_OK)
            return false;
        off_t total = mpg123_length(handle);
        if (total <= 0 || mpg123_seek(handle, 0, SEEK_SET) < 0)
            return false;
        rate = static_cast<uint32_t>(r);
        channels = static_cast<uint32_t>(ch);
        frames = static_cast<uint64_t>(total);
        return true;
    }

    long Read(float *pcm, uint32_t count) override
    {
        size_t want = static_cast<size_t>(count) * channels * sizeof(float);
        size_t got = 0;
        auto *out = reinterpret_cast<unsigned char *>(pcm);
        while (got < want) {
            size_t done = 0;
            int r = mpg123_read(handle, out + got, want - got, &done);
            got += done;
            if (r == MPG123_NEW_FORMAT) {
                long nr = 0;
                int nc = 0, ne = 0;
                mpg123_getformat(handle, &nr, &nc, &ne);
                if (nr != static_cast<long>(rate) || nc != static_cast<int>(channels))
                    break;
                continue;
            }
            if (r == MPG123_DONE)
                break;
            if (r != MPG123_OK) {
                if (got == 0)
                    return -1;
                break;
            }
            if (done == 0)
                break;
        }
        return static_cast<long>(got / (channels * sizeof(float)));
    }

    bool Seek(uint64_t frame) override
    {
        return mpg123_seek(handle, static_cast<off_t>(frame), SEEK_SET) == static_cast<off_t>(frame);
    }

    std::unique_ptr<Source> source;

private:
    mpg123_handle *handle = nullptr;
};

} // namespace

std::unique_ptr<Decoder> OpenMpeg(std::unique_ptr<Source> &source)
{
    int64_t begin = Id3v2Size(*source);
    int64_t end = AudioEnd(*source);
    if (begin >= end)
        begin = 0;
    int64_t first = FindFrameChain(*source, begin, end);
    if (first < 0 && begin > 0)
        first = FindFrameChain(*source, 0, end);
    if (first < 0)
        return nullptr;
    source->Narrow(first, end);
    auto d = std::make_unique<MpegDecoder>(std::move(source));
    if (d->Open())
        return d;
    source = std::move(d->source);
    source->Restore();
    return nullptr;
}

} // namespace klang
