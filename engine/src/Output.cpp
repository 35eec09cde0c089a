#include "Output.h"
#include "SysAudio.h"

#include "Engine.h"
#include "Error.h"
#include "bass_test.h"

#include <SDL2/SDL.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace klang {
namespace {

std::mutex captureMutex;
std::string capturePath;

// The no-sound device: a clock that takes the mix as a sound card would.
class NoSound final : public Output {
public:
    NoSound(uint32_t r, MixFunction m, FILE *c) : rate(r), mix(m), capture(c)
    {
        thread = std::thread([this] { Run(); });
    }
    ~NoSound() override
    {
        running.store(false);
        thread.join();
        if (capture)
            std::fflush(capture);
    }
    uint32_t Latency() const override { return 0; }

private:
    void Run()
    {
        using clock = std::chrono::steady_clock;
        constexpr uint32_t kBlock = 1024;
        // Like a sound card's period: short enough for a quick start,
        // long enough to cost next to nothing.
        constexpr int kTickMs = 8;
        // A clock that falls further behind than this (a stopped process)
        // drops the backlog instead of racing through it.
        const uint64_t maxBacklog = rate / 4;
        std::vector<float> buffer(kBlock * kOutputChannels);
        auto start = clock::now();
        uint64_t consumed = 0;
        while (running.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kTickMs));
            auto elapsed =
                std::chrono::duration_cast<std::chrono::microseconds>(clock::now() - start).count();
            uint64_t due = static_cast<uint64_t>(elapsed) * rate / 1000000;
            if (due - consumed > maxBacklog)
                consumed = due - kBlock;
            while (consumed < due) {
                uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(kBlock, due - consumed));
                mix(buffer.data(), n);
                if (capture)
                    std::fwrite(buffer.data(), sizeof(float) * kOutputChannels, n, capture);
                consumed += n;
            }
        }
    }

    uint32_t rate;
    MixFunction mix;
    std::atomic<bool> running{true};
    FILE *capture;
    std::thread thread;
};

class SdlOutput final : public Output {
public:
    SdlOutput(SDL_AudioDeviceID d, uint32_t block) : device(d), latency(block) {}
    ~SdlOutput() override { SDL_CloseAudioDevice(device); }
    uint32_t Latency() const override { return latency; }

private:
    SDL_AudioDeviceID device;
    uint32_t latency;
};

void SdlCallback(void *user, Uint8 *stream, int len)
{
    auto mix = reinterpret_cast<MixFunction>(user);
    mix(reinterpret_cast<float *>(stream), static_cast<uint32_t>(len / (sizeof(float) * kOutputChannels)));
}

bool Usable(const char *driver)
{
    // SDL's dummy and disk drivers play nothing; the no-sound device does
    // that better (with real-time positions).
    return driver && std::strcmp(driver, "dummy") != 0 && std::strcmp(driver, "disk") != 0;
}

} // namespace

uint32_t DeviceBlockFrames(uint32_t rate)
{
    uint32_t block = 256;
    while (block < rate / 25)
        block *= 2;
    return block;
}

std::unique_ptr<Output> OpenNoSound(uint32_t rate, MixFunction mix, FILE *capture)
{
    return std::make_unique<NoSound>(rate, mix, capture);
}

FILE *OpenNoSoundCapture()
{
    std::lock_guard lock(captureMutex);
    return capturePath.empty() ? nullptr : std::fopen(capturePath.c_str(), "wb");
}

std::unique_ptr<SdlAudio> SdlAudio::Start()
{
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "Klangdeck");
    // SDL would otherwise take SIGINT and SIGTERM for its event queue, which
    // nobody reads here: the program could not be ended any more.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    std::vector<std::string> drivers;
    if (const char *chosen = std::getenv("SDL_AUDIODRIVER"); chosen && *chosen)
        drivers.push_back(chosen);
    else
        drivers = PreferredAudioDrivers();
    for (const std::string &name : drivers) {
        if (!Usable(name.c_str()))
            continue;
        SDL_SetHint(SDL_HINT_AUDIODRIVER, name.c_str());
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
            continue;
        if (Usable(SDL_GetCurrentAudioDriver()))
            return std::unique_ptr<SdlAudio>(new SdlAudio);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    return nullptr;
}

SdlAudio::~SdlAudio()
{
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

std::unique_ptr<Output> SdlAudio::Open(uint32_t rate, MixFunction mix)
{
    SDL_AudioSpec want{}, have{};
    want.freq = static_cast<int>(rate);
    want.format = AUDIO_F32SYS;
    want.channels = kOutputChannels;
    want.samples = static_cast<Uint16>(DeviceBlockFrames(rate));
    want.callback = SdlCallback;
    want.userdata = reinterpret_cast<void *>(mix);
    SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (!device)
        return nullptr;
    auto output = std::make_unique<SdlOutput>(device, have.samples);
    SDL_PauseAudioDevice(device, 0);
    return output;
}

} // namespace klang

BASSDEF(BOOL) KLANG_SetNoSoundCapture(const char *path)
{
    std::lock_guard lock(klang::captureMutex);
    klang::capturePath = path ? path : "";
    return TRUE;
}

BASSDEF(BOOL) KLANG_GetOutputState(KLANG_OUTPUTSTATE *state)
{
    if (!klang::Initialised()) {
        klang::SetError(BASS_ERROR_INIT);
        return FALSE;
    }
    if (!state) {
        klang::SetError(BASS_ERROR_ILLPARAM);
        return FALSE;
    }
    const klang::OutputState now = klang::GetOutputState();
    state->open = now.open ? TRUE : FALSE;
    state->opens = now.opens;
    state->frames = now.channelFrames;
    state->queued = static_cast<DWORD>(now.queued);
    klang::SetError(BASS_OK);
    return TRUE;
}
