// A single-producer, single-consumer ring of interleaved float frames.
// Write is called by the decoding side only, Read by the mixing side only;
// Reset only while both sides are locked out.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <vector>

namespace klang {

class Ring {
public:
    void Allocate(size_t frames, uint32_t channelCount)
    {
        capacity = frames;
        channels = channelCount;
        data.assign(frames * channels, 0.0f);
    }
    size_t Capacity() const { return capacity; }
    size_t Fill() const
    {
        return static_cast<size_t>(writePos.load(std::memory_order_acquire) -
                                   readPos.load(std::memory_order_acquire));
    }

    size_t Write(const float *src, size_t frames)
    {
        uint64_t w = writePos.load(std::memory_order_relaxed);
        uint64_t r = readPos.load(std::memory_order_acquire);
        size_t n = std::min(frames, capacity - static_cast<size_t>(w - r));
        Copy(static_cast<size_t>(w % capacity), n, [&](size_t at, size_t off, size_t len) {
            std::memcpy(&data[at * channels], src + off * channels, len * channels * sizeof(float));
        });
        writePos.store(w + n, std::memory_order_release);
        return n;
    }

    size_t Read(float *dst, size_t frames)
    {
        uint64_t r = readPos.load(std::memory_order_relaxed);
        uint64_t w = writePos.load(std::memory_order_acquire);
        size_t n = std::min(frames, static_cast<size_t>(w - r));
        Copy(static_cast<size_t>(r % capacity), n, [&](size_t at, size_t off, size_t len) {
            std::memcpy(dst + off * channels, &data[at * channels], len * channels * sizeof(float));
        });
        readPos.store(r + n, std::memory_order_release);
        return n;
    }

    // Gives back the last frames read, to be read again. Only while both
    // sides are locked out, and only when Fill() + frames <= Capacity():
    // the writer has not overwritten them then.
    void Unread(size_t frames)
    {
        readPos.store(readPos.load(std::memory_order_relaxed) - frames, std::memory_order_release);
    }

    void Reset()
    {
        readPos.store(0, std::memory_order_release);
        writePos.store(0, std::memory_order_release);
    }

private:
    template <class F> void Copy(size_t at, size_t n, F &&copy)
    {
        size_t first = std::min(n, capacity - at);
        if (first)
            copy(at, 0, first);
        if (n > first)
            copy(0, first, n - first);
    }

    std::vector<float> data;
    size_t capacity = 0;
    uint32_t channels = 0;
    std::atomic<uint64_t> readPos{0};
    std::atomic<uint64_t> writePos{0};
};

} // namespace klang
