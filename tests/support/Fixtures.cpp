#include "tests/support/Fixtures.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <stdlib.h>
#include <time.h>

namespace fs = std::filesystem;

namespace fixtures {

namespace {

// Paths in the tests are UTF-8 on every system; on Windows a narrow
// std::filesystem path would take them for the ANSI code page.
fs::path U8(const std::string &utf8)
{
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

#if defined(_WIN32)
std::string U8(const fs::path &path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}
#endif

} // namespace

std::string Path(const std::string &name)
{
    return std::string(KLANG_FIXTURE_DIR) + "/" + name;
}

TempDir::TempDir()
{
#if defined(_WIN32)
    // No mkdtemp there: a random name that create_directory makes exclusively.
    std::random_device random;
    for (int attempt = 0;; ++attempt) {
        const fs::path candidate = fs::temp_directory_path() / ("klangdeck-test-" + std::to_string(random()));
        std::error_code ec;
        if (fs::create_directory(candidate, ec)) {
            dir = U8(candidate) + "/";
            break;
        }
        if (attempt == 100)
            throw std::runtime_error("cannot create a temporary folder");
    }
#else
    std::string pattern = (fs::temp_directory_path() / "klangdeck-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    dir = pattern + "/";
#endif
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Restore permissions that a test may have taken away, then remove.
    for (auto it =
             fs::recursive_directory_iterator(U8(dir), fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::permissions(U8(dir), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(U8(dir), ec);
}

std::string TempDir::Write(const std::string &relative, const std::string &bytes) const
{
    const std::string path = dir + relative;
    fs::create_directories(U8(path).parent_path());
    std::ofstream out(U8(path), std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::string TempDir::Copy(const std::string &fixture, const std::string &relative) const
{
    return Write(relative, ReadFile(Path(fixture)));
}

std::string TempDir::Mkdir(const std::string &relative) const
{
    fs::create_directories(U8(dir + relative));
    return dir + relative + (relative.empty() || relative.back() == '/' ? "" : "/");
}

std::string ReadFile(const std::string &path)
{
    std::ifstream in(U8(path), std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

double ProcessCpuSeconds()
{
    // winpthreads answers this clock from the process's kernel and user times.
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

NtfsNames NamesInNtfsOrder()
{
    NtfsNames names;
    names.Listed = {"10 Lieder", "2 Lieder", "Alpha", "alpha", "beta",       "zebra", "_x", "Ätna",
                    "Über",      "über",     "ß",     "ÿ",     "\U0001D11E", "\xE4",  "ａ", "Ｂ"};
    // Every fifth name, round and round: 16 names, so each comes once.
    for (size_t i = 0; i < names.Listed.size(); ++i)
        names.Created.push_back(names.Listed[i * 5 % names.Listed.size()]);
    return names;
}

} // namespace fixtures
