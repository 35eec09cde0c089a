#include "library/Mp3FileUtils.h"

#include "platform/Hooks.h"
#include "platform/Text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#if defined(_WIN32)
#include "platform/SysFile.h"
#else
#include "platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

// ---------------------------------------------------------------- streams

void TStream::ReadBuffer(void *buffer, int64_t count)
{
    if (count <= 0)
        return;
    if (Read(buffer, count) != count)
        throw EReadError("Stream read error");
}

TMemoryStream::TMemoryStream(std::string bytes) : data(std::move(bytes))
{
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin)
{
    int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? position : GetSize();
    if (base + offset >= 0)
        position = base + offset;
    return position;
}

int64_t TMemoryStream::Read(void *buffer, int64_t count)
{
    int64_t size = GetSize();
    if (count <= 0 || position >= size)
        return 0;
    int64_t n = std::min(count, size - position);
    std::memcpy(buffer, data.data() + position, static_cast<size_t>(n));
    position += n;
    return n;
}

int64_t TMemoryStream::GetSize()
{
    return static_cast<int64_t>(data.size());
}

#if defined(_WIN32)
// The system part lives in platform/: UTF-16 names, the share mode and the
// system's own error texts.
TTntFileStream::TTntFileStream(const std::u16string &fileName)
{
    std::string error;
    handle = platform::OpenForSharedReading(fileName, size, error);
    if (!handle)
        throw EFOpenError(error);
}

TTntFileStream::TTntFileStream(const std::string &fileName) : TTntFileStream(platform::Utf8ToUtf16(fileName))
{
}

TTntFileStream::~TTntFileStream()
{
    if (handle)
        platform::CloseFile(handle);
}
#else
namespace {

// The full path as the user would read it: relative paths are taken from the
// current folder, "." and ".." and doubled slashes are resolved by name.
std::string AbsolutePath(const std::string &path)
{
    std::string full = path;
    if (full.empty() || full[0] != '/') {
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd))
            full = std::string(cwd) + "/" + full;
    }
    std::vector<std::string_view> parts;
    std::string_view rest(full);
    while (!rest.empty()) {
        size_t slash = rest.find('/');
        std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    std::string out;
    for (std::string_view part : parts) {
        out += '/';
        out += part;
    }
    return out.empty() ? "/" : out;
}

std::string SystemErrorText(int code)
{
    char buffer[256];
    std::string text = strerror_r(code, buffer, sizeof buffer);
    size_t first = text.find_first_not_of(" \t\r\n");
    size_t last = text.find_last_not_of(" \t\r\n");
    text = first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
    if (text.empty() || text.rfind("Unknown error", 0) == 0)
        return "Unspecified error (" + std::to_string(code) + ") from system.";
    return text;
}

[[noreturn]] void RaiseOpenError(const std::string &path, int code)
{
    throw EFOpenError("Datei " + AbsolutePath(path) + " kann nicht geöffnet werden. " +
                      SystemErrorText(code));
}

} // namespace

TTntFileStream::TTntFileStream(const std::u16string &fileName)
    : TTntFileStream(platform::Utf16ToUtf8(fileName))
{
}

TTntFileStream::TTntFileStream(const std::string &path)
{
    int code = 0;
    fd = platform::OpenRegularFile(path.c_str(), code);
    if (fd < 0)
        RaiseOpenError(path, code);
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        code = errno;
        platform::CloseFile(fd);
        fd = -1;
        RaiseOpenError(path, code);
    }
    size = st.st_size;
}

TTntFileStream::~TTntFileStream()
{
    platform::CloseFile(fd);
}

#endif

int64_t TTntFileStream::Seek(int64_t offset, TSeekOrigin origin)
{
    int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? position : size;
    if (base + offset >= 0)
        position = base + offset;
    return position;
}

#if defined(_WIN32)
int64_t TTntFileStream::Read(void *buffer, int64_t count)
{
    int64_t done = platform::ReadFileAt(handle, buffer, count, position);
    position += done;
    return done;
}
#else
int64_t TTntFileStream::Read(void *buffer, int64_t count)
{
    int64_t done = 0;
    auto *out = static_cast<char *>(buffer);
    while (done < count) {
        ssize_t n = ::pread(fd, out + done, static_cast<size_t>(std::min<int64_t>(count - done, 1 << 30)),
                            position + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    position += done;
    return done;
}

#endif

int64_t TTntFileStream::GetSize()
{
    return size;
}

#if defined(_WIN32)
bool UnicodeFileExists(const std::u16string &fileName)
{
    return platform::FileExists(fileName);
}

bool UnicodeFileExists(const std::string &fileName)
{
    return platform::FileExists(platform::Utf8ToUtf16(fileName));
}
#else
bool UnicodeFileExists(const std::u16string &fileName)
{
    return UnicodeFileExists(platform::Utf16ToUtf8(fileName));
}

bool UnicodeFileExists(const std::string &fileName)
{
    struct stat st;
    return ::stat(fileName.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
#endif

// ---------------------------------------------------------------- ID3v2

namespace {

const char *const kFrameIDs[FrameTypeCount][3] = {
    {"TP1", "TPE1", "TPE1"}, {"TT2", "TIT2", "TIT2"}, {"TAL", "TALB", "TALB"}, {"TYE", "TYER", "TDRC"},
    {"TCO", "TCON", "TCON"}, {"COM", "COMM", "COMM"}, {"TRK", "TRCK", "TRCK"}, {"ULT", "USLT", "USLT"},
    {"PIC", "APIC", "APIC"}, {"TCM", "TCOM", "TCOM"}, {"TOA", "TOPE", "TOPE"}, {"TCR", "TCOP", "TCOP"},
    {"TEN", "TENC", "TENC"}, {"TLA", "TLAN", "TLAN"}, {"TSS", "TSSE", "TSSE"}, {"TMT", "TMED", "TMED"},
    {"TLE", "TLEN", "TLEN"}, {"TPB", "TPUB", "TPUB"}, {"TOF", "TOFN", "TOFN"}, {"TOL", "TOLY", "TOLY"},
    {"TOR", "TORY", "TDOR"}, {"TOT", "TOAL", "TOAL"},
};

// Synchsafe value with the terms added (bit 7 of each byte is kept).
int64_t SynchsafeSum(const uint8_t *b)
{
    return (int64_t(b[0]) << 21) + (int64_t(b[1]) << 14) + (int64_t(b[2]) << 7) + b[3];
}

uint32_t BigEndian32(const uint8_t *b)
{
    return (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
}

// Every FF 00 becomes FF, in place; returns the new length.
size_t Resynchronise(uint8_t *bytes, size_t count)
{
    size_t out = 0;
    for (size_t i = 0; i < count; ++i) {
        bytes[out++] = bytes[i];
        if (bytes[i] == 0xFF && i + 1 < count && bytes[i + 1] == 0x00)
            ++i;
    }
    return out;
}

bool Stopped(const std::atomic<bool> *request)
{
    return request && request->load(std::memory_order_relaxed);
}

bool IsFrameIDChar(uint8_t c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z');
}

std::u16string Trimmed(std::u16string text)
{
    size_t first = 0;
    while (first < text.size() && text[first] <= 32)
        ++first;
    size_t last = text.size();
    while (last > first && text[last - 1] <= 32)
        --last;
    return text.substr(first, last - first);
}

// UTF-8 of one to four bytes per character; false on a cut-off or malformed sequence.
bool DecodeUtf8(const uint8_t *bytes, int64_t count, std::u16string &out)
{
    for (int64_t i = 0; i < count;) {
        uint8_t b0 = bytes[i];
        int extra;
        char32_t cp;
        if (b0 < 0x80) {
            extra = 0;
            cp = b0;
        } else if ((b0 & 0xE0) == 0xC0) {
            extra = 1;
            cp = b0 & 0x1F;
        } else if ((b0 & 0xF0) == 0xE0) {
            extra = 2;
            cp = b0 & 0x0F;
        } else if ((b0 & 0xF8) == 0xF0) {
            extra = 3;
            cp = b0 & 0x07;
        } else {
            return false;
        }
        if (i + extra >= count && extra > 0)
            return false;
        for (int k = 1; k <= extra; ++k) {
            if ((bytes[i + k] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (bytes[i + k] & 0x3F);
        }
        if (cp > 0x10FFFF)
            return false;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += extra + 1;
    }
    return true;
}

// Exact reads of the frame walk, served from one chunk of the tag at a time
// (64 KiB, which holds the whole tag of most files) so that headers and
// bodies do not each cost a read from the file. Bodies of a chunk or more go
// straight from the stream to their frame.
class FrameReader {
public:
    // Chunks reach no further than end (the tag's end or the stream's, whichever comes first).
    FrameReader(TStream &stream, int64_t position, int64_t end) : stream(stream), position(position), end(end)
    {
    }

    void Read(uint8_t *out, int64_t count)
    {
        while (count > 0) {
            int64_t offset = position - chunkStart;
            if (offset >= 0 && offset < chunkLength) {
                int64_t n = std::min(count, chunkLength - offset);
                std::memcpy(out, chunk.get() + offset, static_cast<size_t>(n));
                out += n;
                count -= n;
                position += n;
                continue;
            }
            stream.SetPosition(position);
            if (count >= kChunkSize) {
                stream.ReadBuffer(out, count);
                position += count;
                return;
            }
            const int64_t want = std::max(count, std::min<int64_t>(kChunkSize, end - position));
            if (chunkCapacity < want) {
                chunk.reset(new uint8_t[static_cast<size_t>(want)]);
                chunkCapacity = want;
            }
            chunkStart = position;
            chunkLength = stream.Read(chunk.get(), want);
            if (chunkLength < count)
                throw EReadError("Stream read error");
        }
    }

    // Passes over count bytes without reading them.
    void Skip(int64_t count) { position += count; }

    // A body that lies in the chunk is copied once, without clearing its buffer first.
    void ReadBody(std::vector<uint8_t> &body, int64_t count)
    {
        int64_t offset = position - chunkStart;
        if (offset >= 0 && offset + count <= chunkLength) {
            body.assign(chunk.get() + offset, chunk.get() + offset + count);
            position += count;
            return;
        }
        body.resize(static_cast<size_t>(count));
        Read(body.data(), count);
    }

private:
    static constexpr int64_t kChunkSize = 65536;
    TStream &stream;
    int64_t position;
    int64_t end;
    int64_t chunkStart = 0;
    int64_t chunkLength = 0;
    int64_t chunkCapacity = 0;
    std::unique_ptr<uint8_t[]> chunk; // as large as the tag needs, up to a chunk
};

} // namespace

const char *TID3v2Tag::FrameID(TFrameType frameType, uint8_t version)
{
    int column = version == 2 ? 0 : version == 4 ? 2 : 1;
    return kFrameIDs[frameType][column];
}

void TID3v2Tag::Reset()
{
    TagExists = false;
    MajorVersion = 3;
    Revision = 0;
    Unsynchronised = HasExtendedHeader = Experimental = HasFooter = false;
    TagSize = 0;
    PaddingSize = 0;
    Frames.clear();
    resynchronised.reset();
}

TMp3Result TID3v2Tag::ReadTag(TStream &stream)
{
    Reset();
    TMp3Result result = ReadTagHeader(stream);
    if (TagExists && result == mrOk) {
        TStream &source = resynchronised ? *resynchronised : stream;
        result = ReadFrameList(stream, source.GetPosition());
    }
    return result;
}

TMp3Result TID3v2Tag::ReadTagHeader(TStream &stream)
{
    TagExists = false;
    TagSize = 0;
    Unsynchronised = HasExtendedHeader = Experimental = HasFooter = false;
    Revision = 0;
    PaddingSize = 0;
    MajorVersion = 3;
    resynchronised.reset();
    try {
        uint8_t header[10];
        stream.SetPosition(0);
        stream.ReadBuffer(header, 10);
        if (std::memcmp(header, "ID3", 3) != 0)
            return mrNoTag;
        uint8_t version = header[3];
        if (version < 2 || version > 4)
            return mrUnsupportedVersion;
        uint8_t flags = header[5];
        TagSize = static_cast<int32_t>(((uint32_t(header[6]) << 21) | (uint32_t(header[7]) << 14) |
                                        (uint32_t(header[8]) << 7) | header[9]) +
                                       10);
        TagExists = true;
        Unsynchronised = flags & 0x80;
        if (version >= 3) {
            HasExtendedHeader = flags & 0x40;
            Experimental = flags & 0x20;
        }
        if (version == 4) {
            HasFooter = flags & 0x10;
            if (HasFooter)
                TagSize += 10;
        }
        MajorVersion = version;
        Revision = header[4];

        TStream *source = &stream;
        if (Unsynchronised && version < 4) {
            // The tag after its header is stored unsynchronised as a whole: decode it
            // once and read the extended header and the frames from the decoded bytes.
            int64_t end = std::min<int64_t>(TagSize, stream.GetSize());
            std::string bytes(static_cast<size_t>(std::max<int64_t>(0, end - 10)), '\0');
            stream.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
            bytes.resize(Resynchronise(reinterpret_cast<uint8_t *>(bytes.data()), bytes.size()));
            resynchronised = std::make_shared<TMemoryStream>(std::move(bytes));
            source = resynchronised.get();
        }
        if (HasExtendedHeader) {
            uint8_t extended[6];
            source->ReadBuffer(extended, 6);
            int64_t skip = version == 4 ? SynchsafeSum(extended) - 6 : int64_t(BigEndian32(extended)) - 2;
            source->Seek(skip, soCurrent);
        }
        return mrOk;
    } catch (const EReadError &) {
        return mrReadError;
    } catch (const std::exception &e) {
        platform::ShowErrorBox("Error", e.what());
        return mrException;
    }
}

TMp3Result TID3v2Tag::ReadFrameList(TStream &stream, int64_t start)
{
    TStream &source = resynchronised ? *resynchronised : stream;
    const int headerLength = MajorVersion == 2 ? 6 : 10;
    const int idLength = MajorVersion == 2 ? 3 : 4;
    try {
        if (source.GetPosition() != start)
            source.SetPosition(start);
        Frames.clear();
        const int64_t streamSize = source.GetSize();
        // Decoded bytes stand for the tag after its header, so they end where the tag ends.
        const int64_t tagEnd = resynchronised ? streamSize : TagSize;
        FrameReader reader(source, start, std::min(tagEnd, streamSize));
        int64_t position = start;
        while (position < tagEnd - PaddingSize && position < streamSize) {
            if (Stopped(StopRequest))
                break;
            uint8_t header[10];
            reader.Read(header, headerLength);
            position += headerLength;
            if (!std::all_of(header, header + idLength, IsFrameIDChar)) {
                PaddingSize = static_cast<int32_t>(tagEnd - (position - headerLength));
                break;
            }
            int64_t size;
            if (MajorVersion == 2)
                size = (int64_t(header[3]) << 16) | (int64_t(header[4]) << 8) | header[5];
            else if (MajorVersion == 3)
                size = static_cast<int32_t>(BigEndian32(header + 4));
            else
                size = SynchsafeSum(header + 4);
            // A declared size beyond the end of the stream is refused before any allocation.
            if (size > streamSize - position)
                return mrReadError;
            if (size > MaxFrameSize) {
                reader.Skip(size);
                position += size;
                continue;
            }
            TID3v2Frame frame;
            frame.ID.assign(reinterpret_cast<const char *>(header), idLength);
            frame.Size = static_cast<int32_t>(size);
            frame.Header.assign(header, header + headerLength);
            if (size > 0) {
                reader.ReadBody(frame.Data, size);
                position += size;
            }
            Frames.push_back(std::move(frame));
        }
        return mrOk;
    } catch (const EReadError &) {
        return mrReadError;
    } catch (const std::exception &e) {
        platform::ShowErrorBox("Error", e.what());
        return mrException;
    }
}

int TID3v2Tag::IndexOfFrame(TFrameType frameType) const
{
    const char *id = FrameID(frameType, MajorVersion);
    for (int i = static_cast<int>(Frames.size()) - 1; i >= 0; --i)
        if (Frames[i].ID == id)
            return i;
    return -1;
}

std::u16string TID3v2Tag::FrameText(TFrameType frameType) const
{
    int index = IndexOfFrame(frameType);
    if (index < 0)
        return {};
    const TID3v2Frame &frame = Frames[index];
    const uint8_t *body = frame.Data.data();
    int64_t length = static_cast<int64_t>(frame.Data.size());
    std::vector<uint8_t> resynchronisedBody;
    if (MajorVersion == 4 && frame.Header.size() == 10) {
        uint8_t formatFlags = frame.Header[9];
        if (formatFlags & 0x02) {
            resynchronisedBody = frame.Data;
            resynchronisedBody.resize(Resynchronise(resynchronisedBody.data(), resynchronisedBody.size()));
            body = resynchronisedBody.data();
            length = static_cast<int64_t>(resynchronisedBody.size());
        }
        if (formatFlags & 0x01) {
            if (length < 4)
                return {};
            body += 4;
            length -= 4;
        }
    }
    if (length <= 0)
        return {};
    return DecodeFrameText(body[0], body + 1, length - 1);
}

std::u16string TID3v2Tag::DecodeFrameText(uint8_t encoding, const uint8_t *bytes, int64_t count)
{
    if (count <= 0)
        return {};
    std::u16string text;
    switch (encoding) {
    case 0:
        text.assign(bytes, bytes + count);
        break;
    case 1: {
        int64_t n = count / 2 - 1;
        if (n <= 0)
            return {};
        bool bigEndian = bytes[0] == 0xFE && bytes[1] == 0xFF;
        text.resize(static_cast<size_t>(n));
        for (int64_t i = 0; i < n; ++i) {
            const uint8_t *pair = bytes + 2 + 2 * i;
            text[i] = bigEndian ? char16_t(pair[0] << 8 | pair[1]) : char16_t(pair[1] << 8 | pair[0]);
        }
        break;
    }
    case 2: {
        int64_t n = count / 2;
        text.resize(static_cast<size_t>(n));
        for (int64_t i = 0; i < n; ++i)
            text[i] = char16_t(bytes[2 * i] << 8 | bytes[2 * i + 1]);
        break;
    }
    case 3:
        if (!DecodeUtf8(bytes, count, text))
            return {};
        break;
    default:
        return {};
    }
    return Trimmed(std::move(text));
}

// ---------------------------------------------------------------- MPEG

namespace {

// kbit/s by [MPEG-1 / MPEG-2 and 2.5][layer - 1][index].
constexpr uint16_t kBitrates[2][3][16] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}},
};

// Hz by [version - 1][index].
constexpr int kSampleRates[3][4] = {
    {44100, 48000, 32000, 0}, {22050, 24000, 16000, 0}, {11025, 12000, 8000, 0}};

// Samples per frame divided by 8: the bytes per kbit/s and kHz of one frame.
int XingFactor(int version, int layer)
{
    if (layer == 1)
        return 48;
    if (layer == 3 && version != 1)
        return 72;
    return 144;
}

bool IsSync(const uint8_t *b)
{
    return b[0] == 0xFF && b[1] >= 0xE0;
}

constexpr int kWindowSize = 512;
// The longest frame (Layer II, 160 kbit/s at 8000 Hz, padded) plus the four bytes after it.
constexpr int kSideSize = 4096;

} // namespace

uint16_t TMpegInfo::FrameLength(int version, int layer, int padding, int sampleRate, int bitrate)
{
    if (sampleRate <= 0)
        return 0;
    int64_t length;
    if (layer == 1)
        length = 4 * (int64_t(12000) * bitrate / sampleRate + padding);
    else if (layer == 2 || version == 1)
        length = int64_t(144000) * bitrate / sampleRate + padding;
    else
        length = int64_t(72000) * bitrate / sampleRate + padding;
    return static_cast<uint16_t>(length);
}

TMpegFrameHeader TMpegInfo::DecodeFrameHeader(const uint8_t *bytes)
{
    TMpegFrameHeader h;
    if (!IsSync(bytes))
        return h;
    static constexpr int kVersions[4] = {3, 0, 2, 1};
    int version = kVersions[(bytes[1] >> 3) & 3];
    int layer = 4 - ((bytes[1] >> 1) & 3);
    if (version == 0 || layer == 4)
        return TMpegFrameHeader();
    h.Version = version;
    h.Layer = layer;
    h.Protection = (bytes[1] & 1) == 0;
    int bitrateIndex = bytes[2] >> 4;
    if (bitrateIndex == 15)
        return h;
    h.Bitrate = kBitrates[version == 1 ? 0 : 1][layer - 1][bitrateIndex];
    h.SampleRate = kSampleRates[version - 1][(bytes[2] >> 2) & 3];
    h.Padding = (bytes[2] >> 1) & 1;
    h.ChannelMode = bytes[3] >> 6;
    h.ModeExtension = (bytes[3] >> 4) & 3;
    h.Copyright = bytes[3] & 0x08;
    h.Original = bytes[3] & 0x04;
    h.Emphasis = bytes[3] & 3;
    if (layer == 2) {
        bool mono = h.ChannelMode == 3;
        switch (h.Bitrate) {
        case 32:
        case 48:
        case 56:
        case 80:
            if (!mono)
                return h;
            break;
        case 224:
        case 256:
        case 320:
        case 384:
            if (mono)
                return h;
            break;
        }
    }
    if (h.SampleRate == 0)
        return h;
    h.FrameLength = FrameLength(version, layer, h.Padding, h.SampleRate, h.Bitrate);
    h.Valid = h.FrameLength != 0;
    return h;
}

TXingInfo TMpegInfo::ReadXingHeader(const TMpegFrameHeader &header, const uint8_t *frame, int64_t available)
{
    TXingInfo xing;
    bool mono = header.ChannelMode == 3;
    int offset = header.Version == 1 ? (mono ? 21 : 36) : (mono ? 13 : 21);
    if (offset + 12 > std::min<int64_t>(available, int64_t(header.FrameLength) + 4))
        return xing;
    const uint8_t *x = frame + offset;
    if (std::memcmp(x, "Xing", 4) != 0)
        return xing;
    if (x[7] & 1)
        xing.Frames = BigEndian32(x + 8);
    xing.Found = true;
    xing.FrameLength = header.FrameLength;
    return xing;
}

TMp3Result TMpegInfo::ScanStream(TStream &stream)
{
    Valid = false;
    FirstFramePosition = -1;
    FileSize = stream.GetSize();
    const int64_t size = FileSize;

    uint8_t window[kWindowSize];
    uint8_t side[kSideSize];
    int64_t windowStart = stream.GetPosition();
    int64_t windowEnd = windowStart;
    auto fill = [&](int64_t at) {
        stream.SetPosition(at);
        windowStart = at;
        windowEnd = at + stream.Read(window, kWindowSize);
    };
    // Reads count bytes at offset into side and puts the stream back at the candidate.
    auto sideRead = [&](int64_t offset, int64_t count, int64_t candidate) {
        stream.SetPosition(offset);
        int64_t n = stream.Read(side, count);
        stream.SetPosition(candidate);
        return n == count;
    };

    if (windowStart + 4 <= size)
        fill(windowStart);
    for (int64_t p = windowStart; p + 4 <= size; ++p) {
        if (p + 4 >= windowEnd && windowEnd < size) {
            if (Stopped(StopRequest))
                break;
            fill(p);
            if (windowEnd - windowStart < 4)
                break;
        }
        if (p + 4 > windowEnd)
            break;
        // Only a 0xFF can start a header: jump to the next one, stopping where the window needs a refill.
        const uint8_t *here = window + (p - windowStart);
        if (*here != 0xFF) {
            const void *ff = std::memchr(here, 0xFF, static_cast<size_t>(windowEnd - 3 - p));
            p = ff ? p + (static_cast<const uint8_t *>(ff) - here) - 1 : windowEnd - 4;
            continue;
        }
        TMpegFrameHeader h1 = DecodeFrameHeader(here);
        if (!h1.Valid)
            continue;
        const int64_t q = p + h1.FrameLength;
        if (q + 4 > size)
            continue;
        const uint8_t *frame = here;
        if (q + 4 > windowEnd) {
            if (!sideRead(p, h1.FrameLength + 4, p))
                continue;
            frame = side;
        }
        TXingInfo xing = ReadXingHeader(h1, frame, int64_t(h1.FrameLength) + 4);
        TMpegFrameHeader h2 = DecodeFrameHeader(frame + h1.FrameLength);
        if (!h2.Valid)
            continue;
        const int64_t r = q + h2.FrameLength;
        if (r + 4 > size)
            continue;
        const uint8_t *third;
        if (r + 2 <= windowEnd) {
            third = window + (r - windowStart);
        } else {
            if (!sideRead(r, 4, p))
                continue;
            third = side;
        }
        if (!IsSync(third))
            continue;

        int64_t audio;
        uint16_t bitrate;
        uint32_t frameCount;
        if (xing.Found) {
            if (xing.Frames == 0)
                continue;
            audio = size - p - h1.FrameLength;
            double average = h1.SampleRate / 1000.0 * double(audio) /
                             (double(xing.Frames) * XingFactor(h1.Version, h1.Layer));
            bitrate = static_cast<uint16_t>(static_cast<int64_t>(average));
            frameCount = xing.Frames;
        } else {
            audio = size - p;
            bitrate = static_cast<uint16_t>(h1.Bitrate);
            frameCount = static_cast<uint32_t>(audio / h1.FrameLength);
        }
        if (bitrate == 0)
            continue;

        Version = h1.Version;
        Layer = h1.Layer;
        Protection = h1.Protection;
        SampleRate = h1.SampleRate;
        ChannelMode = h1.ChannelMode;
        ModeExtension = h1.ModeExtension;
        Copyright = h1.Copyright;
        Original = h1.Original;
        Emphasis = h1.Emphasis;
        Bitrate = bitrate;
        IsVbr = xing.Found;
        FrameCount = frameCount;
        Duration = static_cast<int32_t>(audio * 8 / (int64_t(bitrate) * 1000));
        Valid = true;
        FirstFramePosition = p;
        return mrOk;
    }
    return mrNoMpegFrame;
}
