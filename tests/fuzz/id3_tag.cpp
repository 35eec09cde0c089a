// Feeds arbitrary bytes to the ID3v2 tag reader and asks for every text.
#include "library/Mp3FileUtils.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TMemoryStream stream(std::string(reinterpret_cast<const char *>(data), size));
    TID3v2Tag tag;
    tag.ReadTag(stream);
    for (int type = 0; type < FrameTypeCount; ++type)
        tag.FrameText(static_cast<TFrameType>(type));
    for (const TID3v2Frame &frame : tag.Frames)
        if (!frame.Data.empty())
            TID3v2Tag::DecodeFrameText(frame.Data[0], frame.Data.data() + 1, int64_t(frame.Data.size()) - 1);
    return 0;
}
