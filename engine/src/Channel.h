// One stream: its decoder, its ring of decoded-ahead frames and its playback
// state.
//
// Locks, always taken in this order: the engine's API lock (handle table,
// syncs), the channel's decodeLock (decoder, resampler; held during file
// I/O), the engine's mixLock (playback state; held only briefly, also by the
// device callback, never during I/O).
#pragma once

#include "Decoder.h"
#include "Ring.h"
#include "bass.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <soxr.h>
#include <vector>

namespace klang {

enum class PlayState { Stopped, Playing, Paused };

struct Sync {
    HSYNC handle;
    SYNCPROC *proc;
    void *user;
};

struct Channel {
    Channel(HSTREAM h, std::unique_ptr<Decoder> d, bool decodeOnly, uint32_t outRate);
    ~Channel();
    Channel(const Channel &) = delete;
    Channel &operator=(const Channel &) = delete;

    QWORD FrameBytes() const { return QWORD(channels) * 2; }

    // Decodes until the ring holds at least target frames (output rate) or
    // the stream ended. Takes decodeLock.
    void Fill(size_t target);
    // Moves decoding and playback to frame; false when the decoder cannot.
    // Takes decodeLock, then mixLock.
    bool Reposition(uint64_t frame);
    // The frame being heard at the stream's rate, given the output frame
    // being heard; with mixLock held.
    uint64_t PlayedFrame(uint64_t heardOutFrame) const;
    // Decode-only channels: up to frames frames of 16-bit PCM. reachedEnd is
    // true on the one call that meets the end, atEnd on that and every later one.
    size_t ReadPcm(int16_t *out, size_t frames, bool &reachedEnd, bool &atEnd);
    // Closes the decoder (at StreamFree), so the file is closed at once.
    void Close();

    const HSTREAM handle;
    const bool decodeOnly;
    const uint32_t rate;
    const uint32_t channels;
    const uint64_t frames;
    const uint32_t outRate;

    // Guarded by decodeLock.
    std::mutex decodeLock;
    std::unique_ptr<Decoder> decoder;
    soxr_t resampler = nullptr;
    std::vector<float> decoded; // one chunk from the decoder
    std::vector<float> pending; // resampled frames not yet in the ring
    size_t pendingFrames = 0;
    size_t pendingOffset = 0;
    bool decoderEnded = false;
    bool resamplerDrained = false;
    uint64_t decodeBase = 0;    // frame decoding (re)started at
    uint64_t decodedFrames = 0; // frames decoded since decodeBase
    bool decodeEndSignalled = false;

    Ring ring;
    std::atomic<bool> ringEnded{false}; // the ring holds the stream's last frame
    std::atomic<uint64_t> endFrame{0};  // the frame after the last one in the ring
    std::atomic<int> pendingEnds{0};    // ends not yet reported to the syncs

    // Guarded by the engine's mixLock.
    PlayState state = PlayState::Stopped;
    bool stalled = false;
    bool atEnd = false;
    bool freed = false;
    uint64_t base = 0;      // frame playback (re)started at
    uint64_t playedOut = 0; // output frames mixed since base
    uint64_t lastOut = 0;   // the output frame after the last one mixed of this channel
    // The position last reported, until playback is moved: a server that
    // takes its queue in large steps (PipeWire) can report, when the queue is
    // dropped for another channel's pause, a little less taken than the
    // clock had shown as heard. The frames go back to be played, the shown
    // position waits for them instead of going back.
    mutable uint64_t shownFloor = 0;
    float volume = 1.0f;
    float pan = 0.0f;

    // Guarded by the engine's API lock.
    std::vector<Sync> syncs;
    bool removed = false;
    int callbacksRunning = 0;

private:
    void FillLocked(size_t target);
    void ResetDecodeLocked(uint64_t frame);
};

} // namespace klang
