// Opening files by their UTF-8 name, for the engine and its plug-ins. On
// Windows the name becomes UTF-16 at the system call, so names with
// characters outside the ANSI code page open too.
#pragma once

#include <cstdio>

#if defined(_WIN32)
#include <string>
#include <windows.h>
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

// fopen(path, "rb") with a UTF-8 path.
inline std::FILE *OpenForReading(const char *path)
{
#if defined(_WIN32)
    const std::wstring wide = WideName(path);
    return wide.empty() ? nullptr : _wfopen(wide.c_str(), L"rb");
#else
    return std::fopen(path, "rb");
#endif
}

} // namespace klang
