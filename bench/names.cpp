// The name helpers and the case-insensitive comparison run for every file of
// every folder listed; they must stay far below a microsecond per file.
#include "platform/Names.h"
#include "platform/Text.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> samplePaths()
{
    std::vector<std::string> paths;
    for (int i = 0; i < 1000; ++i)
        paths.push_back("/home/anna/Musik/Künstler " + std::to_string(i % 37) + "/Album/" +
                        std::to_string(i) + " - Über den Wolken.MP3");
    return paths;
}

void BM_ExtractFileExt(benchmark::State &state)
{
    auto paths = samplePaths();
    for (auto _ : state)
        for (auto &p : paths)
            benchmark::DoNotOptimize(platform::ExtractFileExt(p));
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(paths.size()));
}
BENCHMARK(BM_ExtractFileExt);

void BM_SameTextLocale(benchmark::State &state)
{
    auto paths = samplePaths();
    auto upper = paths;
    for (auto &p : upper)
        for (auto &c : p)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 32);
    for (auto _ : state)
        for (size_t i = 0; i < paths.size(); ++i)
            benchmark::DoNotOptimize(platform::SameTextLocale(paths[i], upper[i]));
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(paths.size()));
}
BENCHMARK(BM_SameTextLocale);

} // namespace

BENCHMARK_MAIN();
