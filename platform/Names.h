// File-name helpers shared by the playlist, the player, the audio library
// and the track list. Paths use "/" as their only separator; on Windows "\",
// "/" and a drive's ":" end a folder part. Pure functions.
#pragma once

#include <string>

namespace platform {

// The extension of a file name: from the last "." that comes after the last
// "/", dot included; empty when there is none.
std::string ExtractFileExt(const std::string &fileName);

// The part after the last "/", less as many trailing characters as the
// extension has ("Live.Set.ogg" gives "Live.Set", ".mp3" gives "").
std::string NameWithoutFolderAndExt(const std::string &fileName);

// Everything up to and including the last "/"; empty when there is none.
std::string FolderPart(const std::string &path);

// The separator the system writes between folders, and at the end of a
// folder path.
#if defined(_WIN32)
inline constexpr const char *PathDelimiter = "\\";
#else
inline constexpr const char *PathDelimiter = "/";
#endif

// The file-name suffix of shared libraries, the engine's plug-ins included.
#if defined(_WIN32)
inline constexpr const char *SharedLibrarySuffix = ".dll";
#else
inline constexpr const char *SharedLibrarySuffix = ".so";
#endif

// Seconds as minutes and seconds, "%.2d:%.2d" (65 gives "01:05", 6005 gives
// "100:05").
std::string FormatMinSec(int seconds);

} // namespace platform
