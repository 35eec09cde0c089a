#include "platform/Folders.h"

#include "platform/Text.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <locale.h>
#include <memory>
#include <numeric>
#include <pwd.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wctype.h>

namespace platform {

namespace {

// The kind from readdir's own type: all a listing needs but for links, which
// are followed, and for file systems that do not tell. It also serves the
// entries that cannot be examined (a folder with read but without search
// permission). A folder of 100,000 files is listed without 100,000 stats.
void KindFromDirentType(unsigned char type, DirEntry &entry)
{
    entry.folder = type == DT_DIR;
    entry.archive = type == DT_REG;
    entry.system = !entry.folder && !entry.archive;
}

// NTFS keeps a folder's names ordered by their UTF-16 code units after
// upper-casing each unit through the volume's fixed table, and Windows lists
// them so; the program's users know its folders in that order. The table
// holds Unicode's simple upper-case mappings within the basic plane, taken
// from C.UTF-8 so that the user's locale does not move names around.
const std::array<char16_t, 0x10000> &UpcaseTable()
{
    static const std::unique_ptr<const std::array<char16_t, 0x10000>> table = [] {
        auto t = std::make_unique<std::array<char16_t, 0x10000>>();
        locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
        for (unsigned unit = 0; unit < t->size(); ++unit) {
            wint_t upper = unit;
            if (unit >= 0xD800 && unit <= 0xDFFF)
                upper = unit; // halves of pairs and stray bytes have no case
            else if (loc)
                upper = towupper_l(unit, loc);
            else if (unit >= 'a' && unit <= 'z')
                upper = unit - ('a' - 'A');
            (*t)[unit] = upper <= 0xFFFF ? char16_t(upper) : char16_t(unit);
        }
        if (loc)
            freelocale(loc);
        return t;
    }();
    return *table;
}

std::u16string NtfsKey(const std::string &name)
{
    std::u16string key = Utf8ToUtf16(name);
    const auto &upcase = UpcaseTable();
    for (char16_t &unit : key)
        unit = upcase[unit];
    return key;
}

// Names equal after upper-casing ("a.mp3", "A.mp3") cannot share an NTFS
// folder; here they can, and their exact bytes keep them in a fixed order.
// name gives an item's name.
template <class T, class Name> void SortAsNtfs(std::vector<T> &items, Name name)
{
    std::vector<std::u16string> keys;
    keys.reserve(items.size());
    for (const T &item : items)
        keys.push_back(NtfsKey(name(item)));
    std::vector<size_t> order(items.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        if (const int c = keys[a].compare(keys[b]); c != 0)
            return c < 0;
        return name(items[a]) < name(items[b]);
    });
    std::vector<T> sorted;
    sorted.reserve(items.size());
    for (size_t i : order)
        sorted.push_back(std::move(items[i]));
    items = std::move(sorted);
}

// Calls each(fd, entry) for every entry of a folder but "." and "..", fd
// being the folder's descriptor; nothing for a folder that cannot be read.
template <class Each> void ForEachEntry(const std::string &folder, Each each)
{
    DIR *dir = opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return;
    const int fd = dirfd(dir);
    for (;;) {
        errno = 0;
        const dirent *d = readdir(dir);
        if (!d)
            break;
        if (std::strcmp(d->d_name, ".") != 0 && std::strcmp(d->d_name, "..") != 0)
            each(fd, *d);
    }
    closedir(dir);
}

// The kind of an entry, links followed.
void ReadKind(int fd, const dirent &d, DirEntry &entry)
{
    struct stat st;
    if (d.d_type != DT_LNK && d.d_type != DT_UNKNOWN) {
        KindFromDirentType(d.d_type, entry);
    } else if (fstatat(fd, d.d_name, &st, 0) == 0) {
        entry.folder = S_ISDIR(st.st_mode);
        entry.archive = S_ISREG(st.st_mode);
        entry.system = !entry.folder && !entry.archive;
    } else if (errno == ENOENT || errno == ELOOP || d.d_type == DT_LNK) {
        entry.system = true; // a link that leads nowhere
    } else {
        KindFromDirentType(d.d_type, entry);
    }
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

std::vector<DirEntry> ListFolder(const std::string &folder, bool withReadOnly)
{
    std::vector<DirEntry> entries;
    ForEachEntry(folder, [&](int fd, const dirent &d) {
        DirEntry entry;
        entry.name = d.d_name;
        entry.hidden = d.d_name[0] == '.';
        ReadKind(fd, d, entry);
        entry.readOnly = withReadOnly && faccessat(fd, d.d_name, W_OK, AT_EACCESS) != 0;
        entries.push_back(std::move(entry));
    });
    SortAsNtfs(entries, [](const DirEntry &entry) -> const std::string & { return entry.name; });
    return entries;
}

std::vector<std::string> ListSubFolders(const std::string &folder)
{
    std::vector<std::string> names;
    ForEachEntry(folder, [&](int fd, const dirent &d) {
        // Only links and entries of file systems that do not tell their kind
        // need a closer look; a file is passed over as it is read.
        if (d.d_type != DT_DIR && d.d_type != DT_LNK && d.d_type != DT_UNKNOWN)
            return;
        DirEntry entry;
        ReadKind(fd, d, entry);
        if (entry.folder)
            names.emplace_back(d.d_name);
    });
    SortAsNtfs(names, [](const std::string &name) -> const std::string & { return name; });
    return names;
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
