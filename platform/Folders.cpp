#include "platform/Folders.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// The kind from readdir's own type, for entries that cannot be examined
// (a folder with read but without search permission).
void KindFromDirentType(unsigned char type, DirEntry &entry)
{
    entry.folder = type == DT_DIR;
    entry.archive = type == DT_REG;
    entry.system = !entry.folder && !entry.archive;
}

std::string WithoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string AbsoluteEnv(const char *name)
{
    const char *value = std::getenv(name);
    if (!value || value[0] != '/')
        return "";
    return WithoutTrailingSlashes(value);
}

std::string HomeFolder()
{
    std::string home = AbsoluteEnv("HOME");
    if (!home.empty())
        return home;
    // HOME may be missing in services and su shells; the account still has one.
    if (const passwd *pw = getpwuid(geteuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/')
        return WithoutTrailingSlashes(pw->pw_dir);
    return "";
}

} // namespace

std::vector<DirEntry> ListFolder(const std::string &folder)
{
    std::vector<DirEntry> entries;
    DIR *dir = opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return entries;
    const int fd = dirfd(dir);
    for (;;) {
        errno = 0;
        const dirent *d = readdir(dir);
        if (!d)
            break;
        const std::string name = d->d_name;
        if (name == "." || name == "..")
            continue;
        DirEntry entry;
        entry.name = name;
        entry.hidden = name[0] == '.';
        struct stat st;
        if (fstatat(fd, d->d_name, &st, 0) == 0) {
            entry.folder = S_ISDIR(st.st_mode);
            entry.archive = S_ISREG(st.st_mode);
            entry.system = !entry.folder && !entry.archive;
        } else if (errno == ENOENT || errno == ELOOP || d->d_type == DT_LNK) {
            entry.system = true; // a link that leads nowhere
        } else {
            KindFromDirentType(d->d_type, entry);
        }
        entry.readOnly = faccessat(fd, d->d_name, W_OK, AT_EACCESS) != 0;
        entries.push_back(std::move(entry));
    }
    closedir(dir);
    return entries;
}

std::string ShellFolder(const std::string &name)
{
    if (strcasecmp(name.c_str(), "AppData") != 0)
        return "";
    std::string config = AbsoluteEnv("XDG_CONFIG_HOME");
    if (!config.empty())
        return config;
    std::string home = HomeFolder();
    if (home.empty())
        return "";
    return (home == "/" ? "" : home) + "/.config";
}

} // namespace platform
