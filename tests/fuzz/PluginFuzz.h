// Runs a format plug-in's decoder over one fuzz input the way the engine
// does: open, read to the end, seek about, read again, close. The decoder
// opens files by path, so the input goes to a temporary file first.
#pragma once

#include "bass_plugin.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

inline const std::string &FuzzInputPath(const char *suffix)
{
    static const std::string path = [suffix] {
        std::string pattern = "/tmp/klangdeck-fuzz-XXXXXX" + std::string(suffix);
        int fd = mkstemps(pattern.data(), static_cast<int>(std::string(suffix).size()));
        if (fd < 0)
            std::abort();
        close(fd);
        return pattern;
    }();
    return path;
}

inline void FuzzPlugin(const KLANG_PLUGIN *plugin, const uint8_t *data, size_t size, const char *suffix)
{
    const std::string &path = FuzzInputPath(suffix);
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (!file)
        std::abort();
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    const KLANG_DECODER &decoder = plugin->decoder;
    KLANG_STREAM_FORMAT format{};
    void *state = decoder.open(path.c_str(), &format);
    if (!state)
        return;
    if (format.rate == 0 || format.channels < 1 || format.channels > 8 ||
        decoder.length(state) != format.frames)
        std::abort();
    constexpr DWORD chunk = 4096;
    std::vector<float> pcm(size_t(chunk) * format.channels);
    auto readSome = [&](int reads) {
        for (int i = 0; i < reads; ++i) {
            long n = decoder.read(state, pcm.data(), chunk);
            if (n < -1 || n > long(chunk))
                std::abort();
            if (n <= 0)
                break;
        }
    };
    // A damaged header may claim hours of audio; the data ends long before.
    readSome(1 << 16);
    const QWORD frames = format.frames;
    for (QWORD target : {frames / 2, QWORD(0), frames ? frames - 1 : 0, frames, frames + 1}) {
        decoder.seek(state, target);
        readSome(2);
    }
    decoder.close(state);
}
