// Feeds arbitrary bytes to the MPEG frame scan, from the start and from the
// offset a tag in the data would give.
#include "library/Mp3FileUtils.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TMemoryStream stream(std::string(reinterpret_cast<const char *>(data), size));
    TMpegInfo fromStart;
    fromStart.ScanStream(stream);
    TID3v2Tag tag;
    tag.ReadTag(stream);
    stream.SetPosition(tag.TagExists ? tag.TagSize : 0);
    TMpegInfo afterTag;
    afterTag.ScanStream(stream);
    return 0;
}
