// A plug-in for the engine's loader tests. It opens text files of the form
// "KLANGSINE rate channels frames frequency delay_ms" and plays that sine
// (amplitude 0.5), sleeping delay_ms in every read to starve the engine.
// Built three times: as a proper plug-in, with a wrong API number
// (TEST_PLUGIN_API) and without the entry point (TEST_PLUGIN_NO_ENTRY).
#include "bass_plugin.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <thread>

namespace {

struct Sine {
    KLANG_STREAM_FORMAT format;
    double frequency;
    int delayMs;
    QWORD at;
};

void *Open(const char *path, KLANG_STREAM_FORMAT *format)
{
    FILE *f = std::fopen(path, "rb");
    if (!f)
        return nullptr;
    char magic[10] = {};
    unsigned rate = 0, channels = 0;
    unsigned long long frames = 0;
    double frequency = 0;
    int delay = 0;
    int n = std::fscanf(f, "%9s %u %u %llu %lf %d", magic, &rate, &channels, &frames, &frequency, &delay);
    std::fclose(f);
    if (n != 6 || std::strcmp(magic, "KLANGSINE") != 0)
        return nullptr;
    auto *s = new Sine{{rate, channels, frames}, frequency, delay, 0};
    *format = s->format;
    return s;
}

long Read(void *state, float *pcm, DWORD frames)
{
    auto *s = static_cast<Sine *>(state);
    if (s->delayMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(s->delayMs));
    QWORD n = std::min<QWORD>(frames, s->format.frames - s->at);
    for (QWORD i = 0; i < n; ++i) {
        float v = static_cast<float>(
            0.5 * std::sin(2 * std::numbers::pi * s->frequency * double(s->at + i) / s->format.rate));
        for (DWORD c = 0; c < s->format.channels; ++c)
            pcm[i * s->format.channels + c] = v;
    }
    s->at += n;
    return static_cast<long>(n);
}

int Seek(void *state, QWORD frame)
{
    auto *s = static_cast<Sine *>(state);
    if (frame > s->format.frames)
        return -1;
    s->at = frame;
    return 0;
}

QWORD Length(void *state)
{
    return static_cast<Sine *>(state)->format.frames;
}

void Close(void *state)
{
    delete static_cast<Sine *>(state);
}

const BASS_PLUGINFORM kFormats[] = {{0x12345, "Klang sine", "*.sine;*.klangsine"}};

#ifndef TEST_PLUGIN_API
#define TEST_PLUGIN_API KLANG_PLUGIN_API
#endif

const KLANG_PLUGIN kPlugin = {TEST_PLUGIN_API, {0x0100, 1, kFormats}, {Open, Read, Seek, Length, Close}};

} // namespace

#ifndef TEST_PLUGIN_NO_ENTRY
extern "C" KLANG_PLUGIN_EXPORT const KLANG_PLUGIN *KlangPluginEntry(void)
{
    return &kPlugin;
}
#else
extern "C" KLANG_PLUGIN_EXPORT const KLANG_PLUGIN *SomethingElse(void)
{
    return &kPlugin;
}
#endif
