// Test media shared by the benchmarks: realistic tagged MP3 files and whole
// file reads. Header only; the benchmarks that include it link the tag writer.
#pragma once

#include "tests/support/Id3Writer.h"

#include <fstream>
#include <iterator>
#include <string>

namespace benchmedia {

inline std::string ReadWhole(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string Fixture(const std::string &name)
{
    return ReadWhole(std::string(KLANG_FIXTURE_DIR) + "/" + name);
}

// The tag of a ripped album track, number i: title, artist and album texts
// and a 30 KiB cover picture, followed by 2 KiB of padding.
inline std::string AlbumTrackTag(int i)
{
    static const std::string apic = [] {
        std::string picture(30 * 1024, '\0');
        for (size_t k = 0; k < picture.size(); ++k)
            picture[k] = static_cast<char>((k * 2654435761u) >> 13);
        return std::string("\0image/jpeg\0\x03\0", 14) + picture;
    }();
    using namespace id3writer;
    const std::string frames = TextFrame(3, "TIT2", 1, "Über den Wolken " + std::to_string(i)) +
                               TextFrame(3, "TPE1", 1, "Künstlerin " + std::to_string(i % 37)) +
                               TextFrame(3, "TALB", 0, "Album " + std::to_string(i % 83)) +
                               Frame(3, "APIC", apic);
    return Tag(3, frames, 2048);
}

} // namespace benchmedia
