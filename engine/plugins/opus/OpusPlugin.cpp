// bassopus: Ogg Opus streams through libopusfile, always at 48 kHz, the rate
// Opus decodes at.
//
// Threads: the engine calls one decoder instance from one thread at a time;
// instances share nothing.
#include "SysFile.h"
#include "bass_plugin.h"

#include <opus/opusfile.h>

#include <algorithm>
#include <new>

namespace {

constexpr DWORD OpusRate = 48000;
constexpr int MaxChannels = 8;
constexpr int MaxHolesPerRead = 64;

struct OpusStream {
    OggOpusFile *file = nullptr;
    DWORD channels = 0;
    // Chained streams whose links differ in channel count, and layouts wider
    // than the engine takes, are mixed down to stereo throughout, so the
    // stream keeps one layout.
    bool stereo = false;
    QWORD total = 0;
    QWORD position = 0;

    ~OpusStream()
    {
        if (file)
            op_free(file);
    }
};

void Close(void *state)
{
    delete static_cast<OpusStream *>(state);
}

void *Open(const char *path, KLANG_STREAM_FORMAT *format)
{
    if (!path || !format)
        return nullptr;
    auto *s = new (std::nothrow) OpusStream;
    if (!s)
        return nullptr;
    // Opened by the program's own rule (regular files only, never waiting);
    // opusfile then owns the stream and closes it with the decoder.
    int error = 0;
    const int fd = klang::OpenDescriptorForReading(path);
    OpusFileCallbacks callbacks{};
    void *stream = fd >= 0 ? op_fdopen(&callbacks, fd, "rb") : nullptr;
    if (!stream)
        klang::CloseDescriptor(fd);
    else if (!(s->file = op_open_callbacks(stream, &callbacks, nullptr, 0, &error)))
        callbacks.close(stream);
    if (!s->file) {
        Close(s);
        return nullptr;
    }
    const int links = op_link_count(s->file);
    const int channels = op_channel_count(s->file, 0);
    s->stereo = channels > MaxChannels;
    for (int link = 1; link < links; ++link)
        if (op_channel_count(s->file, link) != channels)
            s->stereo = true;
    s->channels = s->stereo ? 2 : static_cast<DWORD>(channels);
    const ogg_int64_t total = op_pcm_total(s->file, -1);
    if (links < 1 || channels < 1 || total <= 0) {
        Close(s);
        return nullptr;
    }
    s->total = static_cast<QWORD>(total);
    format->rate = OpusRate;
    format->channels = s->channels;
    format->frames = s->total;
    return s;
}

long Read(void *state, float *pcm, DWORD frames)
{
    auto *s = static_cast<OpusStream *>(state);
    // Never past the announced length, which the engine reports as exact.
    const QWORD left = s->total - std::min(s->position, s->total);
    const QWORD wanted = std::min<QWORD>(frames, left);
    QWORD done = 0;
    int holes = 0;
    while (done < wanted) {
        const int room = static_cast<int>(std::min<QWORD>((wanted - done) * s->channels, 1 << 20));
        float *out = pcm + done * s->channels;
        int n =
            s->stereo ? op_read_float_stereo(s->file, out, room) : op_read_float(s->file, out, room, nullptr);
        // A gap in the data: decoding goes on after it, unless the file is
        // nothing but gaps.
        if (n == OP_HOLE && ++holes < MaxHolesPerRead)
            continue;
        if (n < 0)
            return done > 0 ? static_cast<long>(done) : -1;
        if (n == 0)
            break;
        done += static_cast<QWORD>(n);
    }
    s->position += done;
    return static_cast<long>(done);
}

int Seek(void *state, QWORD frame)
{
    auto *s = static_cast<OpusStream *>(state);
    if (frame > s->total)
        return -1;
    if (frame == s->total) {
        s->position = frame;
        return 0;
    }
    if (op_pcm_seek(s->file, static_cast<ogg_int64_t>(frame)) != 0)
        return -1;
    s->position = frame;
    return 0;
}

QWORD Length(void *state)
{
    return static_cast<OpusStream *>(state)->total;
}

const BASS_PLUGINFORM Formats[] = {{0x10002, "Opus", "*.opus"}};

const KLANG_PLUGIN Plugin = {
    KLANG_PLUGIN_API,
    {0x02030000, 1, Formats},
    {Open, Read, Seek, Length, Close},
};

} // namespace

extern "C" KLANG_PLUGIN_EXPORT const KLANG_PLUGIN *KlangPluginEntry(void)
{
    return &Plugin;
}
