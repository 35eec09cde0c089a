#include "platform/Names.h"

#include <cstdio>

namespace platform {

namespace {

// Windows separates folders with "\" (and accepts "/"), and a drive's ":"
// ends its prefix ("C:Musik.mp3").
constexpr bool IsDelimiter(char c)
{
#if defined(_WIN32)
    return c == '\\' || c == '/' || c == ':';
#else
    return c == '/';
#endif
}

// Where a path's last component begins, and where its extension (the last
// dot in it) begins, npos when it has none. One pass from the end: the names
// of a whole folder go through here.
struct TNameParts {
    size_t name;
    size_t ext;
};

TNameParts SplitName(const std::string &path)
{
    TNameParts parts{path.size(), std::string::npos};
    while (parts.name > 0 && !IsDelimiter(path[parts.name - 1])) {
        --parts.name;
        if (parts.ext == std::string::npos && path[parts.name] == '.')
            parts.ext = parts.name;
    }
    return parts;
}

} // namespace

std::string ExtractFileExt(const std::string &fileName)
{
    const size_t ext = SplitName(fileName).ext;
    return ext == std::string::npos ? std::string() : fileName.substr(ext);
}

std::string NameWithoutFolderAndExt(const std::string &fileName)
{
    const TNameParts parts = SplitName(fileName);
    const size_t end = parts.ext == std::string::npos ? fileName.size() : parts.ext;
    return fileName.substr(parts.name, end - parts.name);
}

std::string FolderPart(const std::string &path)
{
    return path.substr(0, SplitName(path).name);
}

std::string FormatMinSec(int seconds)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2d:%.2d", seconds / 60, seconds % 60);
    return buf;
}

} // namespace platform
