#include "tests/support/Id3Writer.h"

#include <stdexcept>

namespace id3writer {

namespace {

std::u32string CodePoints(const std::string &utf8)
{
    std::u32string out;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char b = utf8[i];
        int extra = b < 0x80 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
        char32_t cp = extra == 0 ? b : b & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(utf8.at(i + k)) & 0x3F);
        out += cp;
        i += extra + 1;
    }
    return out;
}

std::u16string Utf16(const std::string &utf8)
{
    std::u16string out;
    for (char32_t cp : CodePoints(utf8)) {
        if (cp >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

} // namespace

std::string Synchsafe(uint32_t value)
{
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<char>((value >> (7 * (3 - i))) & 0x7F);
    return out;
}

std::string BigEndian(uint32_t value, int count)
{
    std::string out(count, '\0');
    for (int i = 0; i < count; ++i)
        out[i] = static_cast<char>(value >> (8 * (count - 1 - i)));
    return out;
}

std::string Unsynchronise(const std::string &bytes)
{
    std::string out;
    for (size_t i = 0; i < bytes.size(); ++i) {
        out += bytes[i];
        if (static_cast<unsigned char>(bytes[i]) != 0xFF)
            continue;
        if (i + 1 == bytes.size() || bytes[i + 1] == 0 || static_cast<unsigned char>(bytes[i + 1]) >= 0xE0)
            out += '\0';
    }
    return out;
}

std::string TextBody(uint8_t encoding, const std::string &utf8)
{
    std::string out(1, static_cast<char>(encoding));
    switch (encoding) {
    case 0:
        for (char32_t cp : CodePoints(utf8)) {
            if (cp > 0xFF)
                throw std::invalid_argument("not ISO-8859-1");
            out += static_cast<char>(cp);
        }
        break;
    case 1:
        out += "\xFF\xFE";
        for (char16_t c : Utf16(utf8)) {
            out += static_cast<char>(c & 0xFF);
            out += static_cast<char>(c >> 8);
        }
        break;
    case 2:
        for (char16_t c : Utf16(utf8)) {
            out += static_cast<char>(c >> 8);
            out += static_cast<char>(c & 0xFF);
        }
        break;
    default:
        out += utf8;
    }
    return out;
}

std::string FrameWithSize(int version, const std::string &id, uint32_t declaredSize, const std::string &body)
{
    if (version == 2)
        return id + BigEndian(declaredSize, 3) + body;
    return id + (version == 4 ? Synchsafe(declaredSize) : BigEndian(declaredSize, 4)) + std::string(2, '\0') +
           body;
}

std::string Frame(int version, const std::string &id, const std::string &body, uint16_t flags)
{
    std::string frame = FrameWithSize(version, id, static_cast<uint32_t>(body.size()), body);
    if (version != 2) {
        frame[8] = static_cast<char>(flags >> 8);
        frame[9] = static_cast<char>(flags & 0xFF);
    }
    return frame;
}

std::string TextFrame(int version, const std::string &id, uint8_t encoding, const std::string &utf8)
{
    return Frame(version, id, TextBody(encoding, utf8));
}

std::string TagHeader(int version, uint32_t size, uint8_t flags, uint8_t revision)
{
    return std::string("ID3") + static_cast<char>(version) + static_cast<char>(revision) +
           static_cast<char>(flags) + Synchsafe(size);
}

std::string Tag(int version, const std::string &content, uint32_t padding, uint8_t flags)
{
    return TagHeader(version, static_cast<uint32_t>(content.size() + padding), flags) + content +
           std::string(padding, '\0');
}

std::string MpegHeader::Bytes() const
{
    static const int versionBits[4] = {1, 3, 2, 0}; // reserved, MPEG-1, MPEG-2, MPEG-2.5
    int layerBits = layer == 0 ? 0 : 4 - layer;
    std::string out(4, '\0');
    out[0] = '\xFF';
    out[1] = static_cast<char>(0xE0 | versionBits[version] << 3 | layerBits << 1 | (crc ? 0 : 1));
    out[2] = static_cast<char>(bitrateIndex << 4 | sampleRateIndex << 2 | padding << 1);
    out[3] = static_cast<char>(channelMode << 6);
    return out;
}

std::string MpegFrame(const MpegHeader &header, size_t length)
{
    std::string frame = header.Bytes();
    frame.resize(length, '\0');
    return frame;
}

std::string MpegFrames(const MpegHeader &header, size_t length, int count)
{
    std::string out;
    out.reserve(length * count);
    for (int i = 0; i < count; ++i)
        out += MpegFrame(header, length);
    return out;
}

std::string XingFrame(const MpegHeader &header, size_t length, size_t offset, uint32_t frames, bool withCount,
                      const std::string &marker)
{
    std::string frame = MpegFrame(header, length);
    std::string xing = marker + BigEndian(withCount ? 0x0F : 0x0E, 4) + BigEndian(frames, 4);
    frame.replace(offset, xing.size(), xing);
    return frame;
}

} // namespace id3writer
