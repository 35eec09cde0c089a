// Sound output: a device that pulls the mix in real time. The mix function
// is called on the output's own thread (the SDL audio thread or the
// no-sound clock), one call at a time.
#pragma once

#include <cstdint>
#include <memory>

namespace klang {

// Fills frames stereo float frames.
using MixFunction = void (*)(float *out, uint32_t frames);

class Output {
public:
    virtual ~Output() = default;
};

// A clock thread that consumes the mix at the output rate, without a device.
std::unique_ptr<Output> OpenNoSound(uint32_t rate, MixFunction mix);
// The default SDL2 audio device, or nullptr when none opens.
std::unique_ptr<Output> OpenSdl(uint32_t rate, MixFunction mix);

constexpr uint32_t kOutputChannels = 2;

} // namespace klang
