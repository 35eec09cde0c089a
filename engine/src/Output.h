// Sound output: a device that pulls the mix in real time. The mix function
// is called on the output's own thread (the SDL audio thread or the
// no-sound clock), one call at a time.
//
// An output is opened only while something plays; the engine keeps the
// sound system itself (SdlAudio) from BASS_Init to BASS_Free, so that opening
// the device again is quick.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

namespace klang {

// Fills frames stereo float frames.
using MixFunction = void (*)(float *out, uint32_t frames);

class Output {
public:
    virtual ~Output() = default;
    // The frames the device holds ahead of what is heard, right after a
    // mix call returned (0 for the no-sound clock, which mixes only what is
    // due).
    virtual uint32_t Latency() const = 0;
};

// A clock thread that consumes the mix at the output rate, without a device.
// With capture set, it appends what it mixed there (raw float stereo).
std::unique_ptr<Output> OpenNoSound(uint32_t rate, MixFunction mix, FILE *capture);
// The capture file set by KLANG_SetNoSoundCapture, opened for writing, or
// nullptr.
FILE *OpenNoSoundCapture();

// The SDL2 audio subsystem with a usable driver (PulseAudio or ALSA, or the
// one SDL_AUDIODRIVER names).
class SdlAudio {
public:
    // nullptr when no usable driver starts.
    static std::unique_ptr<SdlAudio> Start();
    ~SdlAudio();
    SdlAudio(const SdlAudio &) = delete;
    SdlAudio &operator=(const SdlAudio &) = delete;

    // The default device, playing at once; nullptr when it does not open.
    std::unique_ptr<Output> Open(uint32_t rate, MixFunction mix);

private:
    SdlAudio() = default;
};

// The device's block for an output rate: about 40 ms, a power of two.
// Longer blocks would wake the program and the sound server less often
// but make pause and stop late to the ear.
uint32_t DeviceBlockFrames(uint32_t rate);

constexpr uint32_t kOutputChannels = 2;

} // namespace klang
