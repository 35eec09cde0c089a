// Choosing a decoder by content.
#include "Decoder.h"
#include "Error.h"

#include "bass.h"

#include <cstring>

namespace klang {

std::unique_ptr<Decoder> OpenStream(bool memory, const void *file, uint64_t offset, uint64_t length)
{
    if (!file) {
        SetError(BASS_ERROR_FILEOPEN);
        return nullptr;
    }
    std::unique_ptr<Source> source;
    if (memory) {
        if (length == 0 || offset >= length) {
            SetError(BASS_ERROR_ILLPARAM);
            return nullptr;
        }
        source = Source::FromMemory(static_cast<const uint8_t *>(file) + offset, length - offset);
    } else {
        source = Source::OpenFile(static_cast<const char *>(file), offset, length);
    }
    if (!source) {
        SetError(BASS_ERROR_FILEOPEN);
        return nullptr;
    }

    char magic[4] = {};
    source->ReadAt(0, magic, 4);
    bool riff =
        !std::memcmp(magic, "RIFF", 4) || !std::memcmp(magic, "RF64", 4) || !std::memcmp(magic, "FORM", 4);
    std::unique_ptr<Decoder> d;
    if (source->Size() > 0) {
        // A container's own signature decides first, so PCM bytes that look
        // like MPEG frames are never taken for them.
        if (!std::memcmp(magic, "OggS", 4))
            d = OpenVorbis(source);
        if (!d && riff)
            d = OpenSndfile(source);
        if (!d) {
            source->Restore();
            d = OpenMpeg(source);
        }
    }
    if (!d && !memory && offset == 0 && length == 0)
        d = OpenWithPlugins(static_cast<const char *>(file));
    // A stream without a single sample (an Ogg cut inside its first audio
    // page, headers alone) could never be played to an end, so no end sync
    // would ever come: it does not open.
    if (!d || d->Frames() == 0) {
        SetError(BASS_ERROR_FILEFORM);
        return nullptr;
    }
    return d;
}

} // namespace klang
