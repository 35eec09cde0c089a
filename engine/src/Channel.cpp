#include "Channel.h"

#include "Engine.h"

#include <algorithm>
#include <cmath>

namespace klang {
namespace {

// Frames taken from the decoder at a time.
constexpr uint32_t kChunk = 4096;
// The ring holds a little over a second at the output rate; the feed keeps
// it about half full.
constexpr double kRingSeconds = 1.2;

// Branch-free, so that the compiler vectorises it: rounding is truncation of
// a value made positive.
void ToPcm16(const float *__restrict in, int16_t *__restrict out, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        float v = std::min(32767.0f, std::max(-32768.0f, in[i] * 32768.0f)) + 32768.5f;
        out[i] = static_cast<int16_t>(static_cast<int32_t>(v) - 32768);
    }
}

// Damaged float files may hold NaN or huge values; they become silence or
// a clipped sample here, before they reach the mixer or integer conversion.
void Sanitise(float *pcm, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        float v = pcm[i] == pcm[i] ? pcm[i] : 0.0f;
        pcm[i] = std::min(8.0f, std::max(-8.0f, v));
    }
}

} // namespace

Channel::Channel(HSTREAM h, std::unique_ptr<Decoder> d, bool decodeOnly_, uint32_t outRate_)
    : handle(h), decodeOnly(decodeOnly_), rate(d->Rate()), channels(d->Channels()), frames(d->Frames()),
      outRate(outRate_), decoder(std::move(d))
{
    decoded.resize(size_t(kChunk) * channels);
    if (decodeOnly)
        return;
    ring.Allocate(static_cast<size_t>(outRate * kRingSeconds), channels);
    if (rate != outRate) {
        soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        resampler = soxr_create(rate, outRate, channels, nullptr, &io, &quality, nullptr);
    }
    pending.resize((size_t(double(kChunk) * outRate / rate) + 1024) * channels);
}

Channel::~Channel()
{
    if (resampler)
        soxr_delete(resampler);
}

void Channel::Close()
{
    std::lock_guard lock(decodeLock);
    decoder.reset();
}

void Channel::Fill(size_t target)
{
    std::lock_guard lock(decodeLock);
    FillLocked(target);
}

void Channel::FillLocked(size_t target)
{
    if (!decoder || decodeOnly)
        return;
    target = std::min(target, ring.Capacity());
    for (;;) {
        if (pendingOffset < pendingFrames) {
            pendingOffset += ring.Write(&pending[pendingOffset * channels], pendingFrames - pendingOffset);
            if (pendingOffset < pendingFrames)
                return;
        }
        if (decoderEnded && resampler && !resamplerDrained) {
            // The resampler's tail: what it still holds of the last input.
            size_t done = 0;
            soxr_process(resampler, nullptr, 0, nullptr, pending.data(), pending.size() / channels, &done);
            pendingFrames = done;
            pendingOffset = 0;
            resamplerDrained = done == 0;
            continue;
        }
        if (decoderEnded) {
            if (!ringEnded.load(std::memory_order_relaxed)) {
                endFrame.store(decodeBase + decodedFrames, std::memory_order_relaxed);
                ringEnded.store(true, std::memory_order_release);
            }
            return;
        }
        if (ring.Fill() >= target)
            return;

        pendingFrames = pendingOffset = 0;
        uint64_t left = frames > decodeBase + decodedFrames ? frames - (decodeBase + decodedFrames) : 0;
        long n = left == 0
                     ? 0
                     : decoder->Read(decoded.data(), static_cast<uint32_t>(std::min<uint64_t>(kChunk, left)));
        if (n <= 0) {
            decoderEnded = true;
            continue;
        }
        decodedFrames += static_cast<uint64_t>(n);
        Sanitise(decoded.data(), size_t(n) * channels);
        if (resampler) {
            size_t used = 0, done = 0;
            soxr_process(resampler, decoded.data(), static_cast<size_t>(n), &used, pending.data(),
                         pending.size() / channels, &done);
            pendingFrames = done;
        } else {
            std::copy_n(decoded.data(), size_t(n) * channels, pending.data());
            pendingFrames = static_cast<size_t>(n);
        }
    }
}

void Channel::ResetDecodeLocked(uint64_t frame)
{
    if (resampler)
        soxr_clear(resampler);
    pendingFrames = pendingOffset = 0;
    decoderEnded = false;
    resamplerDrained = false;
    decodeEndSignalled = false;
    decodeBase = frame;
    decodedFrames = 0;
}

bool Channel::Reposition(uint64_t frame)
{
    std::lock_guard lock(decodeLock);
    if (!decoder || !decoder->Seek(frame))
        return false;
    ResetDecodeLocked(frame);
    if (decodeOnly)
        return true;
    {
        std::lock_guard mix(MixLock());
        ring.Reset();
        ringEnded.store(false, std::memory_order_relaxed);
        base = frame;
        playedOut = 0;
        atEnd = false;
        stalled = false;
    }
    // A first block at once, so playback starts without waiting for the feed.
    FillLocked(std::min<size_t>(ring.Capacity(), outRate / 20));
    return true;
}

uint64_t Channel::PlayedFrame() const
{
    if (decodeOnly)
        return 0;
    if (atEnd)
        return endFrame.load(std::memory_order_relaxed);
    uint64_t played = rate == outRate ? playedOut : uint64_t(double(playedOut) * rate / outRate);
    uint64_t pos = base + played;
    if (ringEnded.load(std::memory_order_acquire))
        pos = std::min(pos, endFrame.load(std::memory_order_relaxed));
    return std::min(pos, frames);
}

size_t Channel::ReadPcm(int16_t *out, size_t count, bool &reachedEnd)
{
    std::lock_guard lock(decodeLock);
    reachedEnd = false;
    size_t done = 0;
    while (done < count && decoder && !decoderEnded) {
        uint64_t left = frames > decodeBase + decodedFrames ? frames - (decodeBase + decodedFrames) : 0;
        uint32_t want = static_cast<uint32_t>(std::min<uint64_t>({kChunk, count - done, left}));
        long n = want == 0 ? 0 : decoder->Read(decoded.data(), want);
        if (n <= 0) {
            decoderEnded = true;
            break;
        }
        decodedFrames += static_cast<uint64_t>(n);
        Sanitise(decoded.data(), size_t(n) * channels);
        ToPcm16(decoded.data(), out + done * channels, size_t(n) * channels);
        done += static_cast<size_t>(n);
    }
    if (decoderEnded && !decodeEndSignalled) {
        decodeEndSignalled = true;
        reachedEnd = true;
    }
    return done;
}

} // namespace klang
