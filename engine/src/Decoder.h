// Format decoders: each turns a Source into interleaved float frames.
// A decoder is used from one thread at a time (its channel's decode lock).
#pragma once

#include "Source.h"

#include <cstdint>
#include <memory>

namespace klang {

class Decoder {
public:
    virtual ~Decoder() = default;
    uint32_t Rate() const { return rate; }
    uint32_t Channels() const { return channels; }
    uint64_t Frames() const { return frames; }
    // Up to count frames of interleaved float samples; 0 at the end, -1 on
    // an error that ends the stream.
    virtual long Read(float *pcm, uint32_t count) = 0;
    // The next Read starts exactly at frame.
    virtual bool Seek(uint64_t frame) = 0;

protected:
    uint32_t rate = 0;
    uint32_t channels = 0;
    uint64_t frames = 0;
};

constexpr uint32_t kMaxChannels = 8;

// Each gives nullptr when the source is not of its format (or unreadable);
// the source is consumed only on success.
std::unique_ptr<Decoder> OpenMpeg(std::unique_ptr<Source> &source);
std::unique_ptr<Decoder> OpenVorbis(std::unique_ptr<Source> &source);
std::unique_ptr<Decoder> OpenSndfile(std::unique_ptr<Source> &source);
// Offers the file to every loaded plug-in, in load order.
std::unique_ptr<Decoder> OpenWithPlugins(const char *path);

// Probes the built-in formats by content, then the plug-ins (for files given
// by path without a window). Sets the engine error code on failure.
std::unique_ptr<Decoder> OpenStream(bool memory, const void *file, uint64_t offset, uint64_t length);

} // namespace klang
