// Where the generated audio fixtures are, and small file helpers for tests.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace fixtures {

// The full path of a generated fixture, e.g. Path("tone-44100-stereo.wav").
std::string Path(const std::string &name);

// A fresh, empty temporary folder (ending in "/"), removed by the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return dir; }
    // Writes bytes to a file below the folder and returns its full path.
    std::string Write(const std::string &relative, const std::string &bytes) const;
    // Copies a fixture to a file below the folder and returns its full path.
    std::string Copy(const std::string &fixture, const std::string &relative) const;
    std::string Mkdir(const std::string &relative) const; // returns the path with "/"

private:
    std::string dir;
};

std::string ReadFile(const std::string &path);

// Names as Windows lists them in an NTFS folder, and the same names in the
// order a test creates them, which is neither that order, nor its reverse,
// nor byte order. Digits before letters, case ignored ("Alpha" and "alpha"
// by their bytes), "_" after "Z", umlauts after ASCII, "ÿ" after "ß" (its
// capital is U+0178), then a name outside the basic plane, a byte that is
// not UTF-8 and full-width letters (surrogates sort before U+E000..U+FFFF).
struct NtfsNames {
    std::vector<std::string> Listed, Created;
};
NtfsNames NamesInNtfsOrder();

// Wall-clock seconds since it was made. A position read after it cannot
// have moved on by more than Seconds() of audio, however busy the machine
// is; a fixed sleep says nothing about how much a starved player played.
class Stopwatch {
public:
    double Seconds() const
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }

private:
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

// The processor time this process has used, in seconds, all its threads
// together. (std::clock() is the wall clock on Windows.)
double ProcessCpuSeconds();

// How far a position on the no-sound device may run ahead of the clock: the
// block it is mixing.
constexpr double kNoSoundAhead = 0.05;

} // namespace fixtures
