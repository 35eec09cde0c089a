// Readers for ".mp3" files: the ID3v2 tag at the start of the file and the
// first MPEG audio frame with the play time; plus the file stream they read
// from. A reader instance is used by one thread from start to end; the
// tables are constant data.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

enum TMp3Result : uint8_t {
    mrOk = 0,
    mrReadError = 6, // the stream ended inside a structure that had to be read whole
    mrNoTag = 9,     // no "ID3" at offset 0
    mrUnsupportedVersion = 10,
    mrException = 11,   // any other failure inside the tag reader, after its error box
    mrNoMpegFrame = 12, // no confirmed MPEG audio frame
};

// Fewer bytes than asked for by an exact read.
class EReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file that cannot be opened; its message is
// "Datei %s kann nicht geöffnet werden. %s".
class EFOpenError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

// A seekable byte stream.
class TStream {
public:
    virtual ~TStream() = default;
    // Returns the new position; a target before 0 leaves the position as it is.
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
    virtual int64_t Read(void *buffer, int64_t count) = 0; // returns the bytes read
    virtual int64_t GetSize() = 0;

    int64_t GetPosition() { return Seek(0, soCurrent); }
    void SetPosition(int64_t position) { Seek(position, soBeginning); }
    // Reads exactly count bytes; fewer raise EReadError.
    void ReadBuffer(void *buffer, int64_t count);
};

// A stream over bytes in memory (the caller's bytes are copied).
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::string bytes);
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Read(void *buffer, int64_t count) override;
    int64_t GetSize() override;

private:
    std::string data;
    int64_t position = 0;
};

// A read-only stream over a regular file named by a UTF-16 path. Raises
// EFOpenError when the file cannot be opened or is no regular file (a FIFO or
// device is refused without waiting). Destroying it closes the file.
class TTntFileStream : public TStream {
public:
    explicit TTntFileStream(const std::u16string &fileName);
    // The same for a UTF-8 path; on POSIX without the way through UTF-16,
    // since the library's worker opens every MP3 file of a folder by it.
    explicit TTntFileStream(const std::string &fileName);
    ~TTntFileStream() override;
    TTntFileStream(const TTntFileStream &) = delete;
    TTntFileStream &operator=(const TTntFileStream &) = delete;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Read(void *buffer, int64_t count) override;
    int64_t GetSize() override;

private:
    int fd = -1;            // POSIX
    void *handle = nullptr; // Windows
    // Kept here rather than in the kernel: every read is a pread at this offset.
    int64_t position = 0;
    int64_t size = 0; // taken when the file is opened
};

// True when the path names a regular file (links followed).
bool UnicodeFileExists(const std::u16string &fileName);
// The same for a UTF-8 path; on POSIX without the way through UTF-16, since a
// large folder's names are all checked at once.
bool UnicodeFileExists(const std::string &fileName);

enum TFrameType {
    ftArtist,
    ftTitle,
    ftAlbum,
    ftYear,
    ftGenre,
    ftComment,
    ftTrack,
    ftLyrics,
    ftPicture,
    ftComposer,
    ftOriginalArtist,
    ftCopyright,
    ftEncodedBy,
    ftLanguage,
    ftEncoderSettings,
    ftMediaType,
    ftLength,
    ftPublisher,
    ftOriginalFileName,
    ftOriginalLyricist,
    ftOriginalYear,
    ftOriginalAlbum,
};
constexpr int FrameTypeCount = 22;

struct TID3v2Frame {
    std::string ID;
    int32_t Size = 0;
    std::vector<uint8_t> Header;
    std::vector<uint8_t> Data;
};

class TID3v2Tag {
public:
    bool TagExists = false;
    uint8_t MajorVersion = 3;
    uint8_t Revision = 0;
    bool Unsynchronised = false;
    bool HasExtendedHeader = false;
    bool Experimental = false;
    bool HasFooter = false;
    int32_t TagSize = 0;
    int32_t PaddingSize = 0;
    std::vector<TID3v2Frame> Frames;
    // When set, the frame walk ends early once it is true (the library's
    // worker being stopped); the frames read so far stay.
    const std::atomic<bool> *StopRequest = nullptr;

    // The largest frame body held in memory. The three texts the program
    // shows need a few KiB and a picture a few MiB; a larger frame is passed
    // over unread, as if it were absent, so that a crafted size never costs
    // its declared memory.
    static constexpr int64_t MaxFrameSize = 16 << 20;

    TMp3Result ReadTag(TStream &stream);
    TMp3Result ReadTagHeader(TStream &stream);
    TMp3Result ReadFrameList(TStream &stream, int64_t start);
    int IndexOfFrame(TFrameType frameType) const;
    std::u16string FrameText(TFrameType frameType) const;
    std::u16string Title() const { return FrameText(ftTitle); }
    std::u16string Artist() const { return FrameText(ftArtist); }
    std::u16string Album() const { return FrameText(ftAlbum); }
    void Reset();

    static std::u16string DecodeFrameText(uint8_t encoding, const uint8_t *bytes, int64_t count);
    // The frame ID of a type for a tag version (2, 3 or 4).
    static const char *FrameID(TFrameType frameType, uint8_t version);

private:
    // The tag after its header with the unsynchronisation undone (versions 2
    // and 3); the extended header and the frames are read from it when set.
    std::shared_ptr<TMemoryStream> resynchronised;
};

struct TMpegFrameHeader {
    int Version = 0;         // 0 invalid, 1 MPEG-1, 2 MPEG-2, 3 MPEG-2.5
    int Layer = 4;           // 1, 2, 3; 4 invalid
    bool Protection = false; // CRC present
    int Bitrate = 0;         // kbit/s
    int SampleRate = 0;      // Hz
    uint8_t ChannelMode = 0;
    uint8_t ModeExtension = 0;
    bool Copyright = false;
    bool Original = false;
    uint8_t Emphasis = 0;
    int Padding = 0;
    uint16_t FrameLength = 0;
    bool Valid = false;
};

struct TXingInfo {
    bool Found = false;
    uint32_t Frames = 0;
    uint16_t FrameLength = 0;
};

class TMpegInfo {
public:
    int64_t FileSize = 0;
    int Version = 0;
    int Layer = 0;
    bool Protection = false;
    uint16_t Bitrate = 0;
    int SampleRate = 0;
    uint8_t ChannelMode = 0;
    uint8_t ModeExtension = 0;
    bool Copyright = false;
    bool Original = false;
    uint8_t Emphasis = 0;
    uint32_t FrameCount = 0;
    int32_t Duration = 0;
    bool IsVbr = false;
    bool Valid = false;
    int64_t FirstFramePosition = 0;
    // When set, the scan gives up (mrNoMpegFrame) once it is true: a file
    // without frames is otherwise searched to its end.
    const std::atomic<bool> *StopRequest = nullptr;

    TMp3Result ScanStream(TStream &stream);

    static TMpegFrameHeader DecodeFrameHeader(const uint8_t *bytes);
    static uint16_t FrameLength(int version, int layer, int padding, int sampleRate, int bitrate);
    static TXingInfo ReadXingHeader(const TMpegFrameHeader &header, const uint8_t *frame, int64_t available);
};
