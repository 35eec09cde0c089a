// The engine's C interface.
#include "Decoder.h"
#include "Engine.h"
#include "Error.h"
#include "Plugins.h"

#include "bass.h"

namespace klang {
namespace {
thread_local int lastError = BASS_OK;
}
void SetError(int code)
{
    lastError = code;
}
int LastError()
{
    return lastError;
}
} // namespace klang

using namespace klang;

namespace {

// Runs f on the channel behind handle, or gives fail with the handle error.
template <class R, class F> R WithChannel(DWORD handle, R fail, F &&f)
{
    auto ch = FindStream(handle);
    if (!ch)
        return fail;
    return f(ch);
}

} // namespace

extern "C" {

DWORD BASS_GetVersion(void)
{
    return (DWORD(BASSVERSION) << 16) | 1;
}

BOOL BASS_Init(int device, DWORD freq, DWORD, void *, const void *)
{
    return Initialise(device, freq);
}

BOOL BASS_Free(void)
{
    return Shutdown();
}

int BASS_ErrorGetCode(void)
{
    return LastError();
}

HPLUGIN BASS_PluginLoad(const char *file, DWORD)
{
    return LoadPlugin(file);
}

const BASS_PLUGININFO *BASS_PluginGetInfo(HPLUGIN handle)
{
    const KLANG_PLUGIN *p = FindPlugin(handle);
    if (!p) {
        SetError(BASS_ERROR_HANDLE);
        return nullptr;
    }
    SetError(BASS_OK);
    return &p->info;
}

HSTREAM BASS_StreamCreateFile(BOOL mem, const void *file, QWORD offset, QWORD length, DWORD flags)
{
    if (!Initialised()) {
        SetError(BASS_ERROR_INIT);
        return 0;
    }
    std::unique_ptr<Decoder> decoder = OpenStream(mem != 0, file, offset, length);
    if (!decoder)
        return 0;
    return AddStream(std::move(decoder), (flags & BASS_STREAM_DECODE) != 0);
}

BOOL BASS_StreamFree(HSTREAM handle)
{
    return FreeStream(handle);
}

BOOL BASS_ChannelSetAttributes(DWORD handle, int freq, int volume, int pan)
{
    return WithChannel(handle, FALSE, [&](const std::shared_ptr<Channel> &ch) -> BOOL {
        // Playing at another rate than the stream's own is not supported.
        bool freqOk = freq == -1 || freq == 0 || freq == static_cast<int>(ch->rate);
        if (!freqOk || volume < -1 || volume > 100 || ((pan < -100 || pan > 100) && pan != -101)) {
            SetError(BASS_ERROR_ILLPARAM);
            return FALSE;
        }
        SetMix(ch, volume, pan);
        SetError(BASS_OK);
        return TRUE;
    });
}

HSYNC BASS_ChannelSetSync(DWORD handle, DWORD type, QWORD, SYNCPROC *proc, void *user)
{
    return WithChannel(handle, HSYNC(0), [&](const std::shared_ptr<Channel> &ch) -> HSYNC {
        if (type != BASS_SYNC_END) {
            SetError(BASS_ERROR_ILLTYPE);
            return 0;
        }
        if (!proc) {
            SetError(BASS_ERROR_ILLPARAM);
            return 0;
        }
        return AddSync(ch, proc, user);
    });
}

BOOL BASS_ChannelPlay(DWORD handle, BOOL restart)
{
    return WithChannel(handle, FALSE,
                       [&](const std::shared_ptr<Channel> &ch) -> BOOL { return Play(ch, restart != 0); });
}

BOOL BASS_ChannelPause(DWORD handle)
{
    return WithChannel(handle, FALSE, [&](const std::shared_ptr<Channel> &ch) -> BOOL { return Pause(ch); });
}

BOOL BASS_ChannelStop(DWORD handle)
{
    return WithChannel(handle, FALSE, [&](const std::shared_ptr<Channel> &ch) -> BOOL { return Stop(ch); });
}

DWORD BASS_ChannelIsActive(DWORD handle)
{
    return WithChannel(handle, DWORD(BASS_ACTIVE_STOPPED),
                       [&](const std::shared_ptr<Channel> &ch) { return ActiveState(ch); });
}

BOOL BASS_ChannelGetInfo(DWORD handle, BASS_CHANNELINFO *info)
{
    return WithChannel(handle, FALSE, [&](const std::shared_ptr<Channel> &ch) -> BOOL {
        if (!info) {
            SetError(BASS_ERROR_ILLPARAM);
            return FALSE;
        }
        *info = {ch->rate, ch->channels, ch->decodeOnly ? DWORD(BASS_STREAM_DECODE) : 0};
        SetError(BASS_OK);
        return TRUE;
    });
}

QWORD BASS_ChannelGetLength(DWORD handle)
{
    return WithChannel(handle, ~QWORD(0), [&](const std::shared_ptr<Channel> &ch) -> QWORD {
        SetError(BASS_OK);
        return ch->frames * ch->FrameBytes();
    });
}

QWORD BASS_ChannelGetPosition(DWORD handle)
{
    return WithChannel(handle, ~QWORD(0), [&](const std::shared_ptr<Channel> &ch) -> QWORD {
        return Position(ch) * ch->FrameBytes();
    });
}

BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos)
{
    return WithChannel(handle, FALSE, [&](const std::shared_ptr<Channel> &ch) -> BOOL {
        return SetPosition(ch, pos / ch->FrameBytes());
    });
}

float BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos)
{
    return WithChannel(handle, -1.0f, [&](const std::shared_ptr<Channel> &ch) -> float {
        SetError(BASS_OK);
        return static_cast<float>(double(pos / ch->FrameBytes()) / ch->rate);
    });
}

DWORD BASS_ChannelGetData(DWORD handle, void *buffer, DWORD length)
{
    return WithChannel(handle, ~DWORD(0), [&](const std::shared_ptr<Channel> &ch) -> DWORD {
        if (!ch->decodeOnly) {
            SetError(BASS_ERROR_NOTDECODE);
            return ~DWORD(0);
        }
        if (!buffer) {
            SetError(BASS_ERROR_ILLPARAM);
            return ~DWORD(0);
        }
        bool ended = false, atEnd = false;
        const size_t wanted = length / ch->FrameBytes();
        size_t frames = ch->ReadPcm(static_cast<int16_t *>(buffer), wanted, ended, atEnd);
        if (ended)
            SignalEnd(*ch);
        // Nothing more will come: -1 tells the end apart from a short read.
        if (frames == 0 && wanted > 0 && atEnd) {
            SetError(BASS_ERROR_ENDED);
            return ~DWORD(0);
        }
        SetError(BASS_OK);
        return static_cast<DWORD>(frames * ch->FrameBytes());
    });
}

} // extern "C"
