#include "platform/Names.h"

#include <cstdio>

namespace platform {

namespace {

// Where a path's last component begins after. Windows separates folders with
// "\" (and accepts "/"), and a drive's ":" ends its prefix ("C:Musik.mp3").
#if defined(_WIN32)
constexpr const char *kDelimiters = "\\/:";
#else
constexpr const char *kDelimiters = "/";
#endif

} // namespace

std::string ExtractFileExt(const std::string &fileName)
{
    size_t dot = fileName.rfind('.');
    size_t slash = fileName.find_last_of(kDelimiters);
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    return fileName.substr(dot);
}

std::string NameWithoutFolderAndExt(const std::string &fileName)
{
    size_t slash = fileName.find_last_of(kDelimiters);
    std::string name = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
    name.resize(name.size() - ExtractFileExt(fileName).size());
    return name;
}

std::string FolderPart(const std::string &path)
{
    size_t slash = path.find_last_of(kDelimiters);
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string FormatMinSec(int seconds)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2d:%.2d", seconds / 60, seconds % 60);
    return buf;
}

} // namespace platform
