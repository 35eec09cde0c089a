#include "Channel.h"

#include "Engine.h"

#include <algorithm>
#include <cmath>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace klang {
namespace {

// Frames taken from the decoder at a time.
constexpr uint32_t kChunk = 4096;
// The ring holds a little over a second at the output rate; the feed keeps
// it about half full.
constexpr double kRingSeconds = 1.2;

int16_t ToPcm16(float x)
{
    float v = x == x ? x * 32768.0f : 0.0f; // NaN from a damaged file is silence
    return static_cast<int16_t>(std::lrint(std::clamp(v, -32768.0f, 32767.0f)));
}

// The decode-only hot path: four samples at a time where SSE2 is there
// (the compiler does not vectorise the clamped conversion by itself).
void ToPcm16(const float *in, int16_t *out, size_t count)
{
    size_t i = 0;
#ifdef __SSE2__
    const __m128 scale = _mm_set1_ps(32768.0f), low = _mm_set1_ps(-32768.0f), high = _mm_set1_ps(32767.0f);
    for (; i + 8 <= count; i += 8) {
        __m128 a = _mm_loadu_ps(in + i), b = _mm_loadu_ps(in + i + 4);
        a = _mm_and_ps(a, _mm_cmpord_ps(a, a));
        b = _mm_and_ps(b, _mm_cmpord_ps(b, b));
        a = _mm_min_ps(_mm_max_ps(_mm_mul_ps(a, scale), low), high);
        b = _mm_min_ps(_mm_max_ps(_mm_mul_ps(b, scale), low), high);
        __m128i packed = _mm_packs_epi32(_mm_cvtps_epi32(a), _mm_cvtps_epi32(b));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i), packed);
    }
#endif
    for (; i < count; ++i)
        out[i] = ToPcm16(in[i]);
}

// Damaged float files may hold NaN or huge values; they become silence or
// a clipped sample here, before they reach the resampler and the mixer.
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
        shownFloor = 0;
        playedOut = 0;
        atEnd = false;
        stalled = false;
    }
    // A first block at once, so playback starts without waiting for the feed.
    FillLocked(std::min<size_t>(ring.Capacity(), outRate / 20));
    return true;
}

uint64_t Channel::PlayedFrame(uint64_t heardOutFrame) const
{
    if (decodeOnly)
        return 0;
    // What the device still holds of this channel is not heard yet.
    const uint64_t unheard = std::min(playedOut, lastOut > heardOutFrame ? lastOut - heardOutFrame : 0);
    // A channel ends when its last frame is mixed (its end sync comes
    // then, so that the next track can follow it without a gap), but its
    // position goes on with the ear until that frame is heard.
    if (atEnd && unheard == 0)
        return endFrame.load(std::memory_order_relaxed);
    const uint64_t heard = playedOut - unheard;
    uint64_t played = rate == outRate ? heard : uint64_t(double(heard) * rate / outRate);
    uint64_t pos = std::max(base + played, shownFloor);
    if (ringEnded.load(std::memory_order_acquire))
        pos = std::min(pos, endFrame.load(std::memory_order_relaxed));
    shownFloor = std::min(pos, frames);
    return shownFloor;
}

size_t Channel::ReadPcm(int16_t *out, size_t count, bool &reachedEnd, bool &atEnd)
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
        ToPcm16(decoded.data(), out + done * channels, size_t(n) * channels);
        done += static_cast<size_t>(n);
    }
    if (decoderEnded && !decodeEndSignalled) {
        decodeEndSignalled = true;
        reachedEnd = true;
    }
    atEnd = decoderEnded;
    return done;
}

} // namespace klang
