#include "Source.h"

#include "SysFile.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>

namespace klang {

std::unique_ptr<Source> Source::OpenFile(const char *path, uint64_t offset, uint64_t length)
{
    FILE *f = OpenForReading(path);
    if (!f)
        return nullptr;
    struct stat st;
    // The size not from st_size, which has 32 bits on Windows.
    const int64_t size = FileLength(f);
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode) || size < 0) {
        std::fclose(f);
        return nullptr;
    }
    std::unique_ptr<Source> s(new Source);
    s->file = f;
    std::setvbuf(f, nullptr, _IOFBF, 64 * 1024);
    s->begin = std::min<int64_t>(static_cast<int64_t>(std::min<uint64_t>(offset, INT64_MAX)), size);
    s->end = length == 0 ? size
                         : std::min<int64_t>(size, s->begin + static_cast<int64_t>(
                                                                  std::min<uint64_t>(length, INT64_MAX / 2)));
    s->openBegin = s->begin;
    s->openEnd = s->end;
    return s;
}

std::unique_ptr<Source> Source::FromMemory(const void *data, uint64_t length)
{
    if (!data || length == 0 || length > static_cast<uint64_t>(INT64_MAX / 2))
        return nullptr;
    std::unique_ptr<Source> s(new Source);
    s->memory = static_cast<const uint8_t *>(data);
    s->end = static_cast<int64_t>(length);
    s->openEnd = s->end;
    return s;
}

Source::~Source()
{
    if (file)
        std::fclose(file);
}

size_t Source::ReadAt(int64_t at, void *buffer, size_t bytes)
{
    if (at < 0 || at >= Size())
        return 0;
    size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(bytes), Size() - at));
    if (memory) {
        std::memcpy(buffer, memory + begin + at, n);
        return n;
    }
    // Seeking a FILE drops its buffer; sequential reads must not seek.
    if (fileAt != begin + at) {
        if (!SeekFile(file, static_cast<uint64_t>(begin + at))) {
            fileAt = -1;
            return 0;
        }
        fileAt = begin + at;
    }
    size_t got = std::fread(buffer, 1, n, file);
    fileAt = got == n ? fileAt + static_cast<int64_t>(got) : -1;
    return got;
}

size_t Source::Read(void *buffer, size_t bytes)
{
    size_t n = ReadAt(pos, buffer, bytes);
    pos += static_cast<int64_t>(n);
    return n;
}

bool Source::Seek(int64_t to)
{
    if (to < 0 || to > Size())
        return false;
    pos = to;
    return true;
}

void Source::Narrow(int64_t from, int64_t to)
{
    from = std::clamp<int64_t>(from, 0, Size());
    to = std::clamp<int64_t>(to, from, Size());
    end = begin + to;
    begin += from;
    pos = 0;
}

} // namespace klang

namespace klang {

void Source::Restore()
{
    begin = openBegin;
    end = openEnd;
    pos = 0;
}

} // namespace klang
