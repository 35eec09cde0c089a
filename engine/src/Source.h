// The bytes a stream decodes from: a window of a file or of caller memory.
// One Source belongs to one decoder and is used from one thread at a time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace klang {

class Source {
public:
    // Opens [offset, offset + length) of a file; length 0 means to its end.
    static std::unique_ptr<Source> OpenFile(const char *path, uint64_t offset, uint64_t length);
    // Wraps caller memory, which must stay valid while the stream exists.
    static std::unique_ptr<Source> FromMemory(const void *data, uint64_t length);
    ~Source();
    Source(const Source &) = delete;
    Source &operator=(const Source &) = delete;

    size_t Read(void *buffer, size_t bytes);
    // Positions are relative to the window; false when outside it.
    bool Seek(int64_t pos);
    int64_t Tell() const { return pos; }
    int64_t Size() const { return end - begin; }
    // Reads at an absolute window position without moving the read position.
    size_t ReadAt(int64_t at, void *buffer, size_t bytes);
    // Narrows the window to [from, to) of the current window; the read
    // position moves to its start.
    void Narrow(int64_t from, int64_t to);
    // Back to the window the source was opened with.
    void Restore();

private:
    Source() = default;
    FILE *file = nullptr;
    const uint8_t *memory = nullptr;
    int64_t begin = 0;   // absolute start of the window
    int64_t end = 0;     // absolute end of the window
    int64_t pos = 0;     // relative to begin
    int64_t fileAt = -1; // where the FILE stands (absolute), -1 unknown
    int64_t openBegin = 0;
    int64_t openEnd = 0;
};

} // namespace klang
