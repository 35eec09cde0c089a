#include "Probe.h"

#include "platform/Text.h"

namespace {

std::string Bool(bool value)
{
    return value ? "true" : "false";
}

std::string Text(const std::u16string &text)
{
    return JsonString(platform::Utf16ToUtf8(text));
}

// Fields without meaning (no tag accepted, no frame confirmed) print as 0 or false.
std::string Id3Json(const TID3v2Tag &tag, TMp3Result result)
{
    bool ok = tag.TagExists;
    return "{\"result\": " + std::to_string(int(result)) + ", \"exists\": " + Bool(ok) +
           ", \"version\": " + std::to_string(ok ? tag.MajorVersion : 0) +
           ", \"revision\": " + std::to_string(ok ? tag.Revision : 0) +
           ", \"size\": " + std::to_string(ok ? tag.TagSize : 0) +
           ", \"padding\": " + std::to_string(ok ? tag.PaddingSize : 0) +
           ", \"frames\": " + std::to_string(tag.Frames.size()) + ", \"title\": " + Text(tag.Title()) +
           ", \"artist\": " + Text(tag.Artist()) + ", \"album\": " + Text(tag.Album()) + "}";
}

std::string MpegJson(const TMpegInfo &mpeg, TMp3Result result)
{
    bool ok = mpeg.Valid;
    auto number = [ok](int64_t value) { return std::to_string(ok ? value : 0); };
    return "{\"result\": " + std::to_string(int(result)) + ", \"valid\": " + Bool(ok) +
           ", \"first_frame\": " + number(mpeg.FirstFramePosition) +
           ", \"version\": " + number(mpeg.Version) + ", \"layer\": " + number(mpeg.Layer) +
           ", \"bitrate\": " + number(mpeg.Bitrate) + ", \"sample_rate\": " + number(mpeg.SampleRate) +
           ", \"channel_mode\": " + number(mpeg.ChannelMode) +
           ", \"frame_count\": " + number(mpeg.FrameCount) + ", \"duration\": " + number(mpeg.Duration) +
           ", \"vbr\": " + Bool(ok && mpeg.IsVbr) + "}";
}

} // namespace

std::string ProbeFileJson(const std::string &path, const TID3v2Tag *tag, TMp3Result tagResult,
                          const TMpegInfo *mpeg, TMp3Result mpegResult, const TAudioInfo *record,
                          bool recordHasLength)
{
    std::string out = "{\"file\": " + JsonString(path);
    if (tag)
        out += ", \"id3\": " + Id3Json(*tag, tagResult);
    if (mpeg)
        out += ", \"mpeg\": " + MpegJson(*mpeg, mpegResult);
    static const TAudioInfo none;
    const TAudioInfo &r = record ? *record : none;
    out += ", \"record\": {\"title\": " + JsonString(r.Title) + ", \"artist\": " + JsonString(r.Artist) +
           ", \"album\": " + JsonString(r.Album) +
           ", \"length\": " + (record && recordHasLength ? std::to_string(r.Length) : "null") + "}}\n";
    return out;
}

void ProbeReadMpeg(const std::string &path, TID3v2Tag &tag, TMp3Result &tagResult, TMpegInfo &mpeg,
                   TMp3Result &mpegResult)
{
    TTntFileStream stream(platform::Utf8ToUtf16(path));
    tagResult = tag.ReadTag(stream);
    stream.SetPosition(tag.TagExists ? tag.TagSize : 0);
    mpegResult = mpeg.ScanStream(stream);
}
