// Ogg Vorbis through vorbisfile.
#include "Decoder.h"

#include <algorithm>
#include <cstring>
#include <vorbis/vorbisfile.h>

namespace klang {
namespace {

size_t CbRead(void *ptr, size_t size, size_t n, void *user)
{
    if (size == 0)
        return 0;
    return static_cast<Source *>(user)->Read(ptr, size * n) / size;
}

int CbSeek(void *user, ogg_int64_t offset, int whence)
{
    auto *s = static_cast<Source *>(user);
    int64_t base = whence == SEEK_CUR ? s->Tell() : whence == SEEK_END ? s->Size() : 0;
    return s->Seek(base + offset) ? 0 : -1;
}

long CbTell(void *user)
{
    return static_cast<long>(static_cast<Source *>(user)->Tell());
}

// A run of holes this long means the rest of the file is garbage.
constexpr int kMaxHoles = 64;

class VorbisDecoder final : public Decoder {
public:
    explicit VorbisDecoder(std::unique_ptr<Source> s) : source(std::move(s)) {}
    ~VorbisDecoder() override
    {
        if (open)
            ov_clear(&vf);
    }

    bool Open()
    {
        ov_callbacks cb = {CbRead, CbSeek, nullptr, CbTell};
        if (ov_open_callbacks(source.get(), &vf, nullptr, 0, cb) != 0)
            return false;
        open = true;
        vorbis_info *vi = ov_info(&vf, -1);
        ogg_int64_t total = ov_pcm_total(&vf, -1);
        if (!vi || vi->channels < 1 || vi->channels > static_cast<int>(kMaxChannels) || vi->rate < 1000 ||
            vi->rate > 384000 || total < 0)
            return false;
        rate = static_cast<uint32_t>(vi->rate);
        channels = static_cast<uint32_t>(vi->channels);
        frames = static_cast<uint64_t>(total);
        return true;
    }

    long Read(float *pcm, uint32_t count) override
    {
        long done = 0;
        int holes = 0;
        while (done < static_cast<long>(count)) {
            float **planes = nullptr;
            int link = 0;
            long n = ov_read_float(&vf, &planes, static_cast<int>(count - done), &link);
            if (n == OV_HOLE) {
                if (++holes > kMaxHoles)
                    return done > 0 ? done : -1;
                continue;
            }
            if (n < 0)
                return done > 0 ? done : -1;
            if (n == 0)
                break;
            // A chained stream may change its channel count; keep ours.
            vorbis_info *vi = ov_info(&vf, link);
            uint32_t have = vi ? std::min<uint32_t>(channels, static_cast<uint32_t>(vi->channels)) : 0;
            float *out = pcm + static_cast<size_t>(done) * channels;
            for (long i = 0; i < n; ++i) {
                for (uint32_t c = 0; c < channels; ++c)
                    out[static_cast<size_t>(i) * channels + c] = c < have ? planes[c][i] : 0.0f;
            }
            done += n;
        }
        return done;
    }

    bool Seek(uint64_t frame) override { return ov_pcm_seek(&vf, static_cast<ogg_int64_t>(frame)) == 0; }

    std::unique_ptr<Source> source;

private:
    OggVorbis_File vf{};
    bool open = false;
};

} // namespace

std::unique_ptr<Decoder> OpenVorbis(std::unique_ptr<Source> &source)
{
    char magic[4];
    if (source->ReadAt(0, magic, 4) != 4 || std::memcmp(magic, "OggS", 4) != 0)
        return nullptr;
    source->Seek(0);
    auto d = std::make_unique<VorbisDecoder>(std::move(source));
    if (d->Open())
        return d;
    source = std::move(d->source);
    return nullptr;
}

} // namespace klang
