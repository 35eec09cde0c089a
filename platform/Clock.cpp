#include "platform/Clock.h"

#include <chrono>
#include <mutex>
#include <random>

namespace platform {

namespace {
std::mutex randomMutex;
std::mt19937 &generator()
{
    static std::mt19937 engine;
    return engine;
}
} // namespace

uint32_t GetTickCount()
{
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

int EffectiveTimerInterval(int ms)
{
    constexpr int kTimerMinimum = 10;
    return ms < kTimerMinimum ? kTimerMinimum : ms;
}

void Randomize()
{
    std::lock_guard lock(randomMutex);
    auto now = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    std::seed_seq seed{static_cast<uint32_t>(now), static_cast<uint32_t>(now >> 32)};
    generator().seed(seed);
}

int Random(int range)
{
    if (range <= 0)
        return 0;
    std::lock_guard lock(randomMutex);
    return std::uniform_int_distribution<int>(0, range - 1)(generator());
}

} // namespace platform
