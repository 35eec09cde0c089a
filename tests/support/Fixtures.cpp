#include "tests/support/Fixtures.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <stdlib.h>

namespace fs = std::filesystem;

namespace fixtures {

std::string Path(const std::string &name)
{
    return std::string(KLANG_FIXTURE_DIR) + "/" + name;
}

TempDir::TempDir()
{
    std::string pattern = (fs::temp_directory_path() / "klangdeck-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    dir = pattern + "/";
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Restore permissions that a test may have taken away, then remove.
    for (auto it = fs::recursive_directory_iterator(dir, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir, ec);
}

std::string TempDir::Write(const std::string &relative, const std::string &bytes) const
{
    fs::path p = fs::path(dir) / relative;
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return p.string();
}

std::string TempDir::Copy(const std::string &fixture, const std::string &relative) const
{
    return Write(relative, ReadFile(Path(fixture)));
}

std::string TempDir::Mkdir(const std::string &relative) const
{
    fs::create_directories(fs::path(dir) / relative);
    return dir + relative + (relative.empty() || relative.back() == '/' ? "" : "/");
}

std::string ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

} // namespace fixtures
