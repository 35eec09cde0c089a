// bassflac: FLAC streams through libFLAC's stream decoder.
//
// Threads: the engine calls one decoder instance from one thread at a time;
// instances share nothing.
#include "SysFile.h"
#include "bass_plugin.h"

#include <FLAC/stream_decoder.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

namespace {

// FLAC allows 4 to 32 bits per sample; the largest block is 65535 frames.
constexpr unsigned MinBits = 4;
constexpr unsigned MaxBits = 32;
constexpr DWORD MaxChannels = 8;

// True when the file begins with the "fLaC" marker, or with an ID3v2 tag
// followed by it (taggers put ID3v2 in front of FLAC data). Leaves the file
// at its start.
bool HasFlacMarker(std::FILE *file)
{
    unsigned char head[10];
    bool found = false;
    if (std::fread(head, 1, 4, file) == 4) {
        if (std::memcmp(head, "fLaC", 4) == 0) {
            found = true;
        } else if (std::memcmp(head, "ID3", 3) == 0 && std::fread(head + 4, 1, 6, file) == 6 &&
                   ((head[6] | head[7] | head[8] | head[9]) & 0x80) == 0) {
            long size = (long(head[6]) << 21) | (long(head[7]) << 14) | (long(head[8]) << 7) | long(head[9]);
            long end = 10 + size + ((head[5] & 0x10) ? 10 : 0);
            unsigned char marker[4];
            found = std::fseek(file, end, SEEK_SET) == 0 && std::fread(marker, 1, 4, file) == 4 &&
                    std::memcmp(marker, "fLaC", 4) == 0;
        }
    }
    return std::fseek(file, 0, SEEK_SET) == 0 && found;
}

struct FlacStream {
    std::FILE *file = nullptr;
    FLAC__StreamDecoder *decoder = nullptr;
    DWORD rate = 0;
    DWORD channels = 0;
    unsigned bits = 0;
    QWORD total = 0;       // frames the stream has; 0 until known
    bool counting = false; // the first pass that measures a stream of unknown length
    QWORD counted = 0;
    QWORD next = 0;         // the index of the next frame the decoder delivers
    QWORD position = 0;     // the index of the next frame Read hands out
    QWORD discardUntil = 0; // frames before this index are dropped (seeking by decoding)
    bool failed = false;
    std::vector<float> pending; // decoded interleaved frames not yet read
    size_t pendingOffset = 0;   // in samples

    ~FlacStream()
    {
        if (decoder) {
            FLAC__stream_decoder_finish(decoder);
            FLAC__stream_decoder_delete(decoder);
        }
        if (file)
            std::fclose(file);
    }
};

// The decoder reads the file through these rather than its own stdio
// callbacks, whose seek leaves the end-of-file indicator set under Wine
// (see klang::SeekFile): every frame search after a read to the end failed.
FLAC__StreamDecoderReadStatus OnRead(const FLAC__StreamDecoder *, FLAC__byte buffer[], size_t *bytes,
                                     void *client)
{
    auto *s = static_cast<FlacStream *>(client);
    if (*bytes == 0)
        return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
    *bytes = std::fread(buffer, 1, *bytes, s->file);
    if (std::ferror(s->file))
        return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
    return *bytes == 0 ? FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM
                       : FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
}

FLAC__StreamDecoderSeekStatus OnSeek(const FLAC__StreamDecoder *, FLAC__uint64 offset, void *client)
{
    return klang::SeekFile(static_cast<FlacStream *>(client)->file, offset)
               ? FLAC__STREAM_DECODER_SEEK_STATUS_OK
               : FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
}

FLAC__StreamDecoderTellStatus OnTell(const FLAC__StreamDecoder *, FLAC__uint64 *offset, void *client)
{
    const int64_t at = klang::TellFile(static_cast<FlacStream *>(client)->file);
    if (at < 0)
        return FLAC__STREAM_DECODER_TELL_STATUS_ERROR;
    *offset = static_cast<FLAC__uint64>(at);
    return FLAC__STREAM_DECODER_TELL_STATUS_OK;
}

FLAC__StreamDecoderLengthStatus OnLength(const FLAC__StreamDecoder *, FLAC__uint64 *length, void *client)
{
    const int64_t bytes = klang::FileLength(static_cast<FlacStream *>(client)->file);
    if (bytes < 0)
        return FLAC__STREAM_DECODER_LENGTH_STATUS_ERROR;
    *length = static_cast<FLAC__uint64>(bytes);
    return FLAC__STREAM_DECODER_LENGTH_STATUS_OK;
}

FLAC__bool OnEof(const FLAC__StreamDecoder *, void *client)
{
    return std::feof(static_cast<FlacStream *>(client)->file) != 0;
}

FLAC__StreamDecoderWriteStatus OnWrite(const FLAC__StreamDecoder *, const FLAC__Frame *frame,
                                       const FLAC__int32 *const buffer[], void *client)
{
    auto *s = static_cast<FlacStream *>(client);
    const unsigned blocksize = frame->header.blocksize;
    const unsigned bits = frame->header.bits_per_sample;
    // A frame that changes the channel layout cannot be fitted into the stream.
    if (frame->header.channels != s->channels || bits < MinBits || bits > MaxBits) {
        s->failed = true;
        return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
    if (s->counting) {
        s->counted += blocksize;
        return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    }
    unsigned first = 0;
    if (s->next < s->discardUntil)
        first = static_cast<unsigned>(std::min<QWORD>(s->discardUntil - s->next, blocksize));
    const double scale = 1.0 / double(1ull << (bits - 1));
    s->pending.reserve(s->pending.size() + size_t(blocksize - first) * s->channels);
    for (unsigned i = first; i < blocksize; ++i)
        for (DWORD c = 0; c < s->channels; ++c)
            s->pending.push_back(static_cast<float>(buffer[c][i] * scale));
    s->next += blocksize;
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void OnMetadata(const FLAC__StreamDecoder *, const FLAC__StreamMetadata *metadata, void *client)
{
    auto *s = static_cast<FlacStream *>(client);
    // Rewinding reads the metadata again; the length counted meanwhile stays.
    if (metadata->type != FLAC__METADATA_TYPE_STREAMINFO || s->rate != 0)
        return;
    s->rate = metadata->data.stream_info.sample_rate;
    s->channels = metadata->data.stream_info.channels;
    s->bits = metadata->data.stream_info.bits_per_sample;
    s->total = metadata->data.stream_info.total_samples;
}

// Damaged frames are skipped by the decoder itself; nothing to add.
void OnError(const FLAC__StreamDecoder *, FLAC__StreamDecoderErrorStatus, void *)
{
}

bool AtEnd(const FlacStream *s)
{
    auto state = FLAC__stream_decoder_get_state(s->decoder);
    return state == FLAC__STREAM_DECODER_END_OF_STREAM || state == FLAC__STREAM_DECODER_ABORTED ||
           state == FLAC__STREAM_DECODER_OGG_ERROR || state == FLAC__STREAM_DECODER_SEEK_ERROR ||
           state == FLAC__STREAM_DECODER_MEMORY_ALLOCATION_ERROR ||
           state == FLAC__STREAM_DECODER_UNINITIALIZED;
}

// Back to the first frame after the metadata, with nothing buffered.
bool Rewind(FlacStream *s)
{
    s->pending.clear();
    s->pendingOffset = 0;
    s->next = 0;
    s->position = 0;
    s->discardUntil = 0;
    s->failed = false;
    return FLAC__stream_decoder_reset(s->decoder) &&
           FLAC__stream_decoder_process_until_end_of_metadata(s->decoder);
}

void Close(void *state)
{
    delete static_cast<FlacStream *>(state);
}

void *Open(const char *path, KLANG_STREAM_FORMAT *format)
{
    if (!path || !format)
        return nullptr;
    // The file is opened once, by the program's own rule (regular files only,
    // never waiting), and the decoder reads that very file.
    std::FILE *file = klang::OpenForReading(path);
    if (!file)
        return nullptr;
    auto *s = HasFlacMarker(file) ? new (std::nothrow) FlacStream : nullptr;
    if (!s) {
        std::fclose(file);
        return nullptr;
    }
    s->file = file;
    s->decoder = FLAC__stream_decoder_new();
    if (!s->decoder ||
        FLAC__stream_decoder_init_stream(s->decoder, OnRead, OnSeek, OnTell, OnLength, OnEof, OnWrite,
                                         OnMetadata, OnError, s) != FLAC__STREAM_DECODER_INIT_STATUS_OK ||
        !FLAC__stream_decoder_process_until_end_of_metadata(s->decoder) || s->rate == 0 || s->channels == 0 ||
        s->channels > MaxChannels || s->bits < MinBits || s->bits > MaxBits) {
        Close(s);
        return nullptr;
    }
    if (s->total == 0) {
        s->counting = true;
        FLAC__stream_decoder_process_until_end_of_stream(s->decoder);
        s->counting = false;
        s->total = s->counted;
        if (s->total == 0 || !Rewind(s)) {
            Close(s);
            return nullptr;
        }
    }
    format->rate = s->rate;
    format->channels = s->channels;
    format->frames = s->total;
    return s;
}

long Read(void *state, float *pcm, DWORD frames)
{
    auto *s = static_cast<FlacStream *>(state);
    // Reading stops at the announced length: that is the length the engine
    // reports, so no frame may come after it.
    const QWORD left = s->total - std::min(s->position, s->total);
    const size_t wanted = size_t(std::min<QWORD>(frames, left)) * s->channels;
    size_t done = 0;
    while (done < wanted) {
        const size_t available = s->pending.size() - s->pendingOffset;
        if (available > 0) {
            const size_t n = std::min(available, wanted - done);
            std::memcpy(pcm + done, s->pending.data() + s->pendingOffset, n * sizeof(float));
            s->pendingOffset += n;
            done += n;
            continue;
        }
        s->pending.clear();
        s->pendingOffset = 0;
        if (s->failed || AtEnd(s) || !FLAC__stream_decoder_process_single(s->decoder))
            break;
    }
    const QWORD delivered = done / s->channels;
    s->position += delivered;
    if (delivered == 0 && s->failed)
        return -1;
    return static_cast<long>(delivered);
}

int Seek(void *state, QWORD frame)
{
    auto *s = static_cast<FlacStream *>(state);
    if (frame > s->total)
        return -1;
    s->pending.clear();
    s->pendingOffset = 0;
    s->discardUntil = 0;
    s->failed = false;
    s->position = frame;
    if (frame == s->total)
        return 0;
    // libFLAC hands over the frame that holds the target from the target on.
    s->next = frame;
    if (FLAC__stream_decoder_seek_absolute(s->decoder, frame))
        return 0;
    // The frame search failed (a damaged file): decode from the start and
    // drop everything before the target.
    if (!Rewind(s))
        return -1;
    s->position = frame;
    s->discardUntil = frame;
    while (s->next < frame && !s->failed && !AtEnd(s))
        if (!FLAC__stream_decoder_process_single(s->decoder))
            break;
    return s->next >= frame ? 0 : -1;
}

QWORD Length(void *state)
{
    return static_cast<FlacStream *>(state)->total;
}

const BASS_PLUGINFORM Formats[] = {{0x10001, "FLAC", "*.flac"}};

const KLANG_PLUGIN Plugin = {
    KLANG_PLUGIN_API,
    {0x02030000, 1, Formats},
    {Open, Read, Seek, Length, Close},
};

} // namespace

extern "C" KLANG_PLUGIN_EXPORT const KLANG_PLUGIN *KlangPluginEntry(void)
{
    return &Plugin;
}
