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
#include <functional>
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

    // Devices that queue much ahead (the PulseAudio output): drops what is
    // queued but not played yet, calls rewind(frames dropped) while no mix
    // call runs, so that those frames can go back to their channels, and
    // refills at once. False, without calling rewind, for the others, which
    // hold too little for a pause or stop to be late to the ear.
    virtual bool Discard(const std::function<void(uint32_t dropped)> &rewind)
    {
        (void)rewind;
        return false;
    }
    // Takes the mix at once where the device has room, so that a channel
    // just started does not wait for the device's next request.
    virtual void Wake() {}
};

// Fills up to frames stereo float frames behind the queued frames the
// device holds ahead of what is heard, and returns how many it filled: all
// of them while something plays, fewer when the last playing channel ended
// inside them (so that a track started from its end sync follows its last
// sample without a gap), 0 when nothing plays (the device then lets its
// queue run out instead of queueing silence ahead of the next Play).
using QueueMixFunction = uint32_t (*)(float *out, uint32_t frames, uint32_t queued);

#ifdef KLANG_PULSEAUDIO
// A connection to the PulseAudio server (or PipeWire's PulseAudio service),
// kept from BASS_Init to BASS_Free; its streams queue about 0.4 s, so that
// the program and the server wake rarely.
class PulseAudio {
public:
    // nullptr when no server is reachable. lost is called once, on the
    // connection's own thread, when the server goes away (or ends a stream).
    static std::unique_ptr<PulseAudio> Start(void (*lost)());
    ~PulseAudio();
    PulseAudio(const PulseAudio &) = delete;
    PulseAudio &operator=(const PulseAudio &) = delete;

    // A stream on the default sink, playing at once; nullptr when it does
    // not open.
    std::unique_ptr<Output> Open(uint32_t rate, QueueMixFunction mix);
    // The server went away: nothing this connection opened plays any more.
    bool Lost() const;

    struct Connection;

private:
    explicit PulseAudio(std::unique_ptr<Connection> c);
    std::unique_ptr<Connection> connection;
};
#endif

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
