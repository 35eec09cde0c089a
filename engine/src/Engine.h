// The engine's shared state: the handle table, the mixer and its engine
// threads (decoder feed, sync dispatch). Functions here may be called from
// any thread unless a comment says otherwise.
#pragma once

#include "Channel.h"

#include <memory>

namespace klang {

bool Initialise(int device, uint32_t freq);
bool Shutdown();
bool Initialised();

// Registers a new stream; 0 when the engine is not initialised.
HSTREAM AddStream(std::unique_ptr<Decoder> decoder, bool decodeOnly);
std::shared_ptr<Channel> FindStream(DWORD handle);
bool FreeStream(DWORD handle);
HSYNC AddSync(const std::shared_ptr<Channel> &ch, SYNCPROC *proc, void *user);

// Playback control; each sets the error code.
bool Play(const std::shared_ptr<Channel> &ch, bool restart);
bool Pause(const std::shared_ptr<Channel> &ch);
bool Stop(const std::shared_ptr<Channel> &ch);
DWORD ActiveState(const std::shared_ptr<Channel> &ch);
uint64_t Position(const std::shared_ptr<Channel> &ch);
bool SetPosition(const std::shared_ptr<Channel> &ch, uint64_t frame);
void SetMix(const std::shared_ptr<Channel> &ch, int volume, int pan);
// Reports the end of a decode-only channel to its syncs.
void SignalEnd(Channel &ch);

// The output device as the engine sees it, for tests and benchmarks.
struct OutputState {
    bool open = false;          // open at the sound system (or the no-sound clock runs)
    unsigned opens = 0;         // times opened since BASS_Init
    uint64_t channelFrames = 0; // frames of playing channels handed to it since BASS_Init
    uint64_t queued = 0;        // frames of the mix it holds that are not heard yet
};
OutputState GetOutputState();

// The mix lock for the channel code.
std::mutex &MixLock();

} // namespace klang
