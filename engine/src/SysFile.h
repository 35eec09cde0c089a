// Opening files by their UTF-8 name, for the engine and its plug-ins. On
// Windows the name becomes UTF-16 at the system call, so names with
// characters outside the ANSI code page open too. On POSIX every opening goes
// through the program's own rule (platform/Files): regular files only, and
// the open never waits on a FIFO or a device.
#pragma once

#include <cstdint>
#include <cstdio>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <string>
#include <windows.h>
#else
#include "platform/Files.h"

#include <sys/stat.h>
#endif

namespace klang {

#if defined(_WIN32)
// UTF-8 to UTF-16 for the system's wide calls; empty when the text is not
// valid UTF-8 (no file has such a name there).
inline std::wstring WideName(const char *utf8)
{
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, nullptr, 0);
    if (n <= 1)
        return {};
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, wide.data(), n);
    wide.resize(static_cast<size_t>(n - 1));
    return wide;
}
#endif

// A stdio stream ("rb") of the file with a UTF-8 path; nullptr when it cannot
// be opened (or, on POSIX, is not a regular file).
inline std::FILE *OpenForReading(const char *path)
{
#if defined(_WIN32)
    const std::wstring wide = WideName(path);
    return wide.empty() ? nullptr : _wfopen(wide.c_str(), L"rb");
#else
    return platform::OpenRegularFileStream(path);
#endif
}

// Moves a stream of OpenForReading to a byte offset (64-bit everywhere) and
// clears its end-of-file indicator, as fseek does. The 64-bit seek of
// mingw's runtime goes through fsetpos, which under Wine keeps the indicator
// set, so a stream read to its end went on reporting its end.
inline bool SeekFile(std::FILE *file, uint64_t offset)
{
    std::clearerr(file);
#if defined(_WIN32)
    return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

// The stream's byte position, or -1.
inline int64_t TellFile(std::FILE *file)
{
#if defined(_WIN32)
    return _ftelli64(file);
#else
    return ftello(file);
#endif
}

// The length in bytes of the file behind the stream, or -1.
inline int64_t FileLength(std::FILE *file)
{
#if defined(_WIN32)
    return _filelengthi64(_fileno(file));
#else
    struct stat st;
    return fstat(fileno(file), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
#endif
}

// The same as a file descriptor for reading; -1 when it cannot be opened.
inline int OpenDescriptorForReading(const char *path)
{
#if defined(_WIN32)
    const std::wstring wide = WideName(path);
    return wide.empty() ? -1 : _wopen(wide.c_str(), _O_RDONLY | _O_BINARY);
#else
    int error = 0;
    return platform::OpenRegularFile(path, error);
#endif
}

// Closes what OpenDescriptorForReading returned; -1 is passed over.
inline void CloseDescriptor(int fd)
{
#if defined(_WIN32)
    if (fd >= 0)
        _close(fd);
#else
    platform::CloseFile(fd);
#endif
}

} // namespace klang
