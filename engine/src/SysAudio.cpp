#include "SysAudio.h"

namespace klang {

std::vector<std::string> PreferredAudioDrivers()
{
#if defined(_WIN32)
    // The shared-mode audio of Vista and later, then DirectSound and the
    // old waveOut interface for older systems and Wine set-ups.
    return {"wasapi", "directsound", "winmm"};
#else
    // SDL's PipeWire back-end stutters on some systems; PipeWire also
    // serves the PulseAudio protocol.
    return {"pulseaudio", "alsa"};
#endif
}

} // namespace klang
