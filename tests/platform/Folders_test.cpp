#if defined(_WIN32)
#include <gtest/gtest.h>

TEST(Folders, PosixSide)
{
    GTEST_SKIP() << "these cases are about POSIX entries and permissions";
}
#else
#include "platform/Folders.h"

#include "tests/support/Fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using platform::DirEntry;
using platform::ListFolder;

namespace {

const DirEntry *Find(const std::vector<DirEntry> &entries, const std::string &name)
{
    auto it = std::find_if(entries.begin(), entries.end(), [&](const DirEntry &e) { return e.name == name; });
    return it == entries.end() ? nullptr : &*it;
}

// Root reads and writes anything, so permission checks run as an ordinary
// user: as root they run in a child process that became "nobody". Returns
// the check's result, 0 for success.
int AsOrdinaryUser(const std::function<int()> &check)
{
    if (geteuid() != 0)
        return check();
    pid_t child = fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(100);
        _exit(check());
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

} // namespace

TEST(Folders, AttributesOfEveryKindOfEntry)
{
    fixtures::TempDir tmp;
    const std::string &root = tmp.path();
    tmp.Mkdir("Music");
    tmp.Mkdir(".hidden");
    tmp.Write("song.mp3", "x");
    tmp.Write(".secret", "x");
    ASSERT_EQ(mkfifo((root + "pipe.mp3").c_str(), 0644), 0);
    ASSERT_EQ(symlink((root + "Music").c_str(), (root + "link").c_str()), 0);
    ASSERT_EQ(symlink((root + "song.mp3").c_str(), (root + "filelink").c_str()), 0);
    ASSERT_EQ(symlink((root + "gone").c_str(), (root + "dangling").c_str()), 0);

    const auto entries = ListFolder(root);
    std::vector<std::string> names;
    for (const auto &e : entries)
        names.push_back(e.name);
    EXPECT_EQ(names, (std::vector<std::string>{".hidden", ".secret", "dangling", "filelink", "link", "Music",
                                               "pipe.mp3", "song.mp3"}));
    ASSERT_EQ(entries.size(), 8u);

    auto check = [&](const std::string &name, bool hidden, bool folder, bool system, bool archive) {
        SCOPED_TRACE(name);
        const DirEntry *e = Find(entries, name);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->hidden, hidden);
        EXPECT_EQ(e->folder, folder);
        EXPECT_EQ(e->system, system);
        EXPECT_EQ(e->archive, archive);
    };
    check("Music", false, true, false, false);
    check(".hidden", true, true, false, false);
    check("song.mp3", false, false, false, true);
    check(".secret", true, false, false, true);
    check("pipe.mp3", false, false, true, false);
    check("link", false, true, false, false);
    check("filelink", false, false, false, true);
    check("dangling", false, false, true, false);
    EXPECT_EQ(platform::ListSubFolders(root), (std::vector<std::string>{".hidden", "link", "Music"}));
}

// Files and folders alike, whatever order the file system keeps them in.
TEST(Folders, NamesComeInTheOrderWindowsListsThem)
{
    fixtures::TempDir tmp;
    const fixtures::NtfsNames names = fixtures::NamesInNtfsOrder();
    bool folder = false;
    for (const std::string &name : names.Created) {
        if ((folder = !folder))
            tmp.Mkdir(name);
        else
            tmp.Write(name, "x");
    }
    std::vector<std::string> listed, folders;
    for (const DirEntry &e : ListFolder(tmp.path())) {
        listed.push_back(e.name);
        if (e.folder)
            folders.push_back(e.name);
    }
    EXPECT_EQ(listed, names.Listed);
    EXPECT_EQ(platform::ListSubFolders(tmp.path()), folders);
}

TEST(Folders, ReadOnlyFollowsWritePermission)
{
    fixtures::TempDir tmp;
    chmod(tmp.path().c_str(), 0777);
    const std::string locked = tmp.Write("locked.mp3", "x");
    const std::string open = tmp.Write("open.mp3", "x");
    chmod(locked.c_str(), 0444);
    chmod(open.c_str(), 0666);
    EXPECT_EQ(AsOrdinaryUser([&] {
                  const auto asked = ListFolder(tmp.path(), true);
                  const DirEntry *l = Find(asked, "locked.mp3"), *o = Find(asked, "open.mp3");
                  const auto plain = ListFolder(tmp.path());
                  const DirEntry *lp = Find(plain, "locked.mp3");
                  return l && o && lp && l->readOnly && !o->readOnly && !lp->readOnly ? 0 : 1;
              }),
              0);
}

TEST(Folders, UnreadableFolderGivesNothing)
{
    fixtures::TempDir tmp;
    chmod(tmp.path().c_str(), 0755);
    const std::string locked = tmp.Mkdir("locked");
    const std::string open = tmp.Mkdir("open");
    tmp.Write("locked/inside.mp3", "x");
    tmp.Write("open/inside.mp3", "x");
    chmod(locked.c_str(), 0);
    chmod((open + "inside.mp3").c_str(), 0644);
    EXPECT_EQ(AsOrdinaryUser([&] {
                  return ListFolder(locked).empty() && platform::ListSubFolders(tmp.path()).size() == 2 &&
                                 platform::ListSubFolders(locked).empty() && ListFolder(open).size() == 1
                             ? 0
                             : 1;
              }),
              0);
}

// Without search permission the names can be read but not examined; the
// kinds then come from the folder listing itself.
TEST(Folders, FolderWithoutSearchPermissionStillTellsKinds)
{
    fixtures::TempDir tmp;
    chmod(tmp.path().c_str(), 0755);
    const std::string folder = tmp.Mkdir("listonly");
    tmp.Mkdir("listonly/sub");
    tmp.Write("listonly/track.mp3", "x");
    chmod(folder.c_str(), 0444);
    EXPECT_EQ(AsOrdinaryUser([&] {
                  const auto entries = ListFolder(folder);
                  const DirEntry *sub = Find(entries, "sub"), *track = Find(entries, "track.mp3");
                  return entries.size() == 2 && sub && sub->folder && track && track->archive &&
                                 platform::ListSubFolders(folder) == std::vector<std::string>{"sub"}
                             ? 0
                             : 1;
              }),
              0);
}

TEST(ShellFolder, AppDataIsTheConfigurationFolder)
{
    const char *oldHome = std::getenv("HOME");
    const char *oldConfig = std::getenv("XDG_CONFIG_HOME");
    const std::string home = oldHome ? oldHome : "";
    const std::string config = oldConfig ? oldConfig : "";

    setenv("HOME", "/home/anna", 1);
    setenv("XDG_CONFIG_HOME", "/srv/cfg/", 1);
    EXPECT_EQ(platform::ShellFolder("AppData"), "/srv/cfg");
    setenv("XDG_CONFIG_HOME", "relative/cfg", 1);
    EXPECT_EQ(platform::ShellFolder("AppData"), "/home/anna/.config");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(platform::ShellFolder("AppData"), "/home/anna/.config");
    EXPECT_EQ(platform::ShellFolder("Personal"), "");
    EXPECT_EQ(platform::ShellFolder(""), "");

    oldHome ? setenv("HOME", home.c_str(), 1) : unsetenv("HOME");
    oldConfig ? setenv("XDG_CONFIG_HOME", config.c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
}
#endif
