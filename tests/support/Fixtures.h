// Where the generated audio fixtures are, and small file helpers for tests.
#pragma once

#include <string>

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

} // namespace fixtures
