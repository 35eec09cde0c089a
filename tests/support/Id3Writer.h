// Byte-level writers of ID3v2 tags and MPEG audio frames for tests. They
// write exactly what they are told (sizes, flags, lengths), so tests can
// build well-formed files as well as broken ones. Pure functions; any thread.
#pragma once

#include <cstdint>
#include <string>

namespace id3writer {

// Four bytes, seven bits each, most significant first.
std::string Synchsafe(uint32_t value);
// count bytes, most significant first.
std::string BigEndian(uint32_t value, int count);
// Inserts 00 after every FF that is followed by 00 or a byte of 111xxxxx, or ends the data.
std::string Unsynchronise(const std::string &bytes);

// A text frame body: the encoding byte, then the UTF-8 text in that encoding
// (0 ISO-8859-1, 1 UTF-16 little-endian with the mark FF FE, 2 UTF-16
// big-endian, 3 UTF-8), without terminator.
std::string TextBody(uint8_t encoding, const std::string &utf8);
// A frame header and body: 3-byte id and 24-bit size for version 2; 4-byte
// id, size (32-bit for version 3, synchsafe for 4) and two flag bytes otherwise.
std::string Frame(int version, const std::string &id, const std::string &body, uint16_t flags = 0);
// A frame whose size field says declaredSize, whatever the body is.
std::string FrameWithSize(int version, const std::string &id, uint32_t declaredSize, const std::string &body);
std::string TextFrame(int version, const std::string &id, uint8_t encoding, const std::string &utf8);
// The 10-byte tag header with a synchsafe size.
std::string TagHeader(int version, uint32_t size, uint8_t flags = 0, uint8_t revision = 0);
// Header plus content plus padding zero bytes; the size field counts content and padding.
std::string Tag(int version, const std::string &content, uint32_t padding = 0, uint8_t flags = 0);

// One MPEG audio frame header.
struct MpegHeader {
    int version = 1; // 1 MPEG-1, 2 MPEG-2, 3 MPEG-2.5, 0 the reserved value
    int layer = 3;   // 1, 2, 3; 0 the reserved value
    int bitrateIndex = 9;
    int sampleRateIndex = 0;
    int padding = 0;
    int channelMode = 0;
    bool crc = false;
    std::string Bytes() const;
};
// The header followed by zero bytes up to length.
std::string MpegFrame(const MpegHeader &header, size_t length);
std::string MpegFrames(const MpegHeader &header, size_t length, int count);
// A frame that carries a "Xing" (or other) header at offset, with the flags
// and, when withCount, the frame count.
std::string XingFrame(const MpegHeader &header, size_t length, size_t offset, uint32_t frames,
                      bool withCount = true, const std::string &marker = "Xing");

} // namespace id3writer
