// The tag and frame readers run for every ".mp3" file of every folder listed.
// Side by side over 1,000 cached files with a realistic tag (three texts and a
// 30 KiB picture): our readers as the audio library runs them, TagLib with
// its fast reading style, and a bare open, 4 KiB read and close as the floor.
#include "bench/BenchMedia.h"
#include "library/Mp3FileUtils.h"
#include "platform/Text.h"
#include "tests/support/Id3Writer.h"

#include <benchmark/benchmark.h>
#include <taglib/audioproperties.h>
#include <taglib/fileref.h>
#include <taglib/tag.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace benchmedia;

constexpr int kFiles = 1000;

// The files, written once into a temporary folder and read once so that they sit in the page cache.
class Library {
public:
    Library()
    {
        char pattern[] = "/tmp/klangdeck-bench-XXXXXX";
        folder = mkdtemp(pattern);
        const std::string audio = Fixture("tone-44100-cbr128.mp3");
        for (int i = 0; i < kFiles; ++i) {
            std::string path = folder + "/" + std::to_string(i) + " - Über den Wolken.mp3";
            std::ofstream(path, std::ios::binary) << AlbumTrackTag(i) << audio;
            paths.push_back(path);
            widePaths.push_back(platform::Utf8ToUtf16(path));
        }
        for (const std::string &path : paths)
            benchmark::DoNotOptimize(ReadWhole(path));
    }
    ~Library() { std::filesystem::remove_all(folder); }

    std::string folder;
    std::vector<std::string> paths;
    std::vector<std::u16string> widePaths;
};

const Library &Files()
{
    static Library library;
    return library;
}

void BM_Klangdeck(benchmark::State &state)
{
    const Library &files = Files();
    for (auto _ : state) {
        for (const std::u16string &path : files.widePaths) {
            TTntFileStream stream(path);
            TID3v2Tag tag;
            tag.ReadTag(stream);
            stream.SetPosition(tag.TagExists ? tag.TagSize : 0);
            TMpegInfo mpeg;
            mpeg.ScanStream(stream);
            std::string title = platform::Utf16ToUtf8(tag.Title());
            std::string artist = platform::Utf16ToUtf8(tag.Artist());
            std::string album = platform::Utf16ToUtf8(tag.Album());
            benchmark::DoNotOptimize(title.data());
            benchmark::DoNotOptimize(artist.data());
            benchmark::DoNotOptimize(album.data());
            benchmark::DoNotOptimize(mpeg.Duration);
        }
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_Klangdeck)->Unit(benchmark::kMillisecond);

void BM_TagLibFast(benchmark::State &state)
{
    const Library &files = Files();
    for (auto _ : state) {
        for (const std::string &path : files.paths) {
            TagLib::FileRef file(path.c_str(), true, TagLib::AudioProperties::Fast);
            std::string title = file.tag()->title().to8Bit(true);
            std::string artist = file.tag()->artist().to8Bit(true);
            std::string album = file.tag()->album().to8Bit(true);
            int length = file.audioProperties()->lengthInSeconds();
            benchmark::DoNotOptimize(title.data());
            benchmark::DoNotOptimize(artist.data());
            benchmark::DoNotOptimize(album.data());
            benchmark::DoNotOptimize(length);
        }
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_TagLibFast)->Unit(benchmark::kMillisecond);

void BM_BareOpenRead4KClose(benchmark::State &state)
{
    const Library &files = Files();
    char buffer[4096];
    for (auto _ : state) {
        for (const std::string &path : files.paths) {
            int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            benchmark::DoNotOptimize(::read(fd, buffer, sizeof buffer));
            ::close(fd);
        }
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_BareOpenRead4KClose)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
