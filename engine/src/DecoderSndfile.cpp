// WAV (PCM, float, extensible) and AIFF/AIFC through libsndfile.
#include "Decoder.h"

#include <sndfile.h>

namespace klang {
namespace {

sf_count_t VioLength(void *user)
{
    return static_cast<Source *>(user)->Size();
}

sf_count_t VioSeek(sf_count_t offset, int whence, void *user)
{
    auto *s = static_cast<Source *>(user);
    int64_t base = whence == SEEK_CUR ? s->Tell() : whence == SEEK_END ? s->Size() : 0;
    if (!s->Seek(base + offset))
        return -1;
    return s->Tell();
}

sf_count_t VioRead(void *ptr, sf_count_t count, void *user)
{
    return count <= 0
               ? 0
               : static_cast<sf_count_t>(static_cast<Source *>(user)->Read(ptr, static_cast<size_t>(count)));
}

sf_count_t VioWrite(const void *, sf_count_t, void *)
{
    return 0;
}
sf_count_t VioTell(void *user)
{
    return static_cast<Source *>(user)->Tell();
}

class SndfileDecoder final : public Decoder {
public:
    SndfileDecoder(std::unique_ptr<Source> s, SNDFILE *f, const SF_INFO &info) : source(std::move(s)), file(f)
    {
        rate = static_cast<uint32_t>(info.samplerate);
        channels = static_cast<uint32_t>(info.channels);
        frames = static_cast<uint64_t>(info.frames);
    }
    ~SndfileDecoder() override { sf_close(file); }

    long Read(float *pcm, uint32_t count) override
    {
        sf_count_t n = sf_readf_float(file, pcm, count);
        if (n < 0)
            return -1;
        if (n == 0 && sf_error(file) != SF_ERR_NO_ERROR)
            return -1;
        return static_cast<long>(n);
    }

    bool Seek(uint64_t frame) override
    {
        return sf_seek(file, static_cast<sf_count_t>(frame), SEEK_SET) == static_cast<sf_count_t>(frame);
    }

private:
    std::unique_ptr<Source> source;
    SNDFILE *file;
};

} // namespace

std::unique_ptr<Decoder> OpenSndfile(std::unique_ptr<Source> &source)
{
    static SF_VIRTUAL_IO io = {VioLength, VioSeek, VioRead, VioWrite, VioTell};
    source->Seek(0);
    SF_INFO info{};
    SNDFILE *f = sf_open_virtual(&io, SFM_READ, &info, source.get());
    if (!f)
        return nullptr;
    int major = info.format & SF_FORMAT_TYPEMASK;
    bool known = major == SF_FORMAT_WAV || major == SF_FORMAT_WAVEX || major == SF_FORMAT_AIFF ||
                 major == SF_FORMAT_RF64;
    if (!known || info.channels < 1 || info.channels > static_cast<int>(kMaxChannels) ||
        info.samplerate < 1000 || info.samplerate > 384000 || info.frames < 0) {
        sf_close(f);
        return nullptr;
    }
    // Integer PCM beyond full scale would wrap; float files keep their values.
    sf_command(f, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    return std::make_unique<SndfileDecoder>(std::move(source), f, info);
}

} // namespace klang
