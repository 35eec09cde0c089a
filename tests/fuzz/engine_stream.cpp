// Feeds the engine's stream opener and its built-in decoders: the input
// becomes a file, opened decode-only; all its PCM is read, then it is read
// again after seeks, and freed. Also opens it from memory.
#include "bass.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const std::string &InputPath()
{
    static const std::string path = [] {
        std::string pattern = "/tmp/klangdeck-fuzz-engine-XXXXXX";
        int fd = mkstemp(pattern.data());
        if (fd < 0)
            std::abort();
        close(fd);
        return pattern;
    }();
    return path;
}

void ReadSome(HSTREAM h, QWORD length, size_t maxReads)
{
    static std::vector<char> buffer(1 << 15);
    QWORD total = 0;
    for (size_t i = 0; i < maxReads; ++i) {
        DWORD got = BASS_ChannelGetData(h, buffer.data(), DWORD(buffer.size()));
        if (got == DWORD(-1)) {
            if (BASS_ErrorGetCode() != BASS_ERROR_ENDED)
                std::abort(); // a decode-only stream never refuses to be read
            break;
        }
        if (got == 0)
            std::abort(); // short of the end, a read delivers something
        total += got;
    }
    if (total > length)
        std::abort(); // decoded more than the length it reported
}

void Exercise(HSTREAM h)
{
    BASS_CHANNELINFO info{};
    if (!BASS_ChannelGetInfo(h, &info) || info.chans < 1 || info.chans > 8 || info.freq == 0)
        std::abort();
    QWORD length = BASS_ChannelGetLength(h);
    if (length == QWORD(-1) || length % (2 * info.chans))
        std::abort();
    // Every input is at most a few megabytes of sound; a damaged header may
    // claim hours, the data ends long before.
    ReadSome(h, length, 1 << 14);
    const QWORD frame = 2 * info.chans;
    for (QWORD pos : {length / 2 / frame * frame, QWORD(0), length ? length - frame : 0, length}) {
        if (BASS_ChannelSetPosition(h, pos)) {
            if (BASS_ChannelGetPosition(h) != pos)
                std::abort();
            ReadSome(h, length - pos, 4);
        }
    }
    if (BASS_ChannelSetPosition(h, length + frame))
        std::abort();
    if (!BASS_StreamFree(h))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    if (!BASS_Init(BASS_DEVICE_NOSOUND, 44100, 0, nullptr, nullptr))
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string &path = InputPath();
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (!file)
        std::abort();
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    if (HSTREAM h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE))
        Exercise(h);
    else if (BASS_ErrorGetCode() == BASS_OK)
        std::abort(); // a failure must say why
    if (size > 0) {
        if (HSTREAM h = BASS_StreamCreateFile(TRUE, data, 0, size, BASS_STREAM_DECODE))
            Exercise(h);
    }
    return 0;
}
