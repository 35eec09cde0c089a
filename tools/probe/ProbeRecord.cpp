#include "Probe.h"

#include "bass.h"
#include "library/AudioLibraryExt.h"
#include "platform/Names.h"
#include "platform/Text.h"
#include "playback/BassExt.h"

#include <memory>

// The controller's own initialisation finds the engine initialised already
// and keeps the no-sound device.
void ProbeEngine()
{
    static const std::unique_ptr<TBassController> controller = [] {
        BASS_Init(BASS_DEVICE_NOSOUND, 44100, 0, nullptr, nullptr);
        auto c = std::make_unique<TBassController>();
        BassController = c.get();
        return c;
    }();
}

std::string ProbeFile(const std::string &path)
{
    ProbeEngine();
    const bool mp3 = platform::LowerCaseLocale(platform::ExtractFileExt(path)) == ".mp3";
    TID3v2Tag tag;
    TMpegInfo mpeg;
    // A file that cannot be opened shows no tag and no frame.
    TMp3Result tagResult = mrNoTag, mpegResult = mrNoMpegFrame;
    if (mp3) {
        try {
            ProbeReadMpeg(path, tag, tagResult, mpeg, mpegResult);
        } catch (const EFOpenError &) {
            tag = TID3v2Tag();
            mpeg = TMpegInfo();
        }
    }
    TAudioInfo record;
    bool read = true;
    try {
        TAudioLibrary::ReadInfo(path, record);
    } catch (const std::exception &) {
        read = false;
    }
    return ProbeFileJson(path, mp3 ? &tag : nullptr, tagResult, mp3 ? &mpeg : nullptr, mpegResult,
                         read ? &record : nullptr);
}
