#include "Probe.h"

#include "bass.h"

#include <filesystem>
#include <fstream>
#include <vector>

std::string ProbeDecode(const std::string &path, const std::string &outPath)
{
    ProbeEngine();
    const std::string head = "{\"file\": " + JsonString(path) + ", ";
    HSTREAM stream = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE);
    if (!stream)
        return head + "\"error\": " + std::to_string(BASS_ErrorGetCode()) + "}\n";
    BASS_CHANNELINFO info{};
    BASS_ChannelGetInfo(stream, &info);

    std::ofstream out(std::filesystem::path(std::u8string(outPath.begin(), outPath.end())),
                      std::ios::binary | std::ios::trunc);
    std::vector<char> buffer(1 << 16);
    unsigned long long bytes = 0;
    for (;;) {
        const DWORD got = BASS_ChannelGetData(stream, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (got == static_cast<DWORD>(-1) || got == 0)
            break;
        out.write(buffer.data(), got);
        bytes += got;
    }
    const int endCode = BASS_ErrorGetCode();
    BASS_StreamFree(stream);
    out.close();
    if (!out)
        return head + "\"error\": " + JsonString("cannot write " + outPath) + "}\n";
    const unsigned frameBytes = 2 * (info.chans ? info.chans : 1);
    return head + "\"rate\": " + std::to_string(info.freq) + ", \"channels\": " + std::to_string(info.chans) +
           ", \"frames\": " + std::to_string(bytes / frameBytes) + ", \"end\": " + std::to_string(endCode) + "}\n";
}
