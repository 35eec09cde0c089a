#include "library/FileExt.h"

#include "platform/Drives.h"
#include "tests/support/Fixtures.h"
#include "tests/support/PosixOnly.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

struct FakeDrives {
    explicit FakeDrives(platform::DriveSource source)
    {
        platform::SetDriveSourceForTesting(std::move(source));
    }
    ~FakeDrives() { platform::SetDriveSourceForTesting(std::nullopt); }
};

platform::DriveSource TwoDisksAndAFloppy()
{
    platform::DriveSource source;
    source.mounts = "/dev/sda1 / ext4 rw 0 0\n"
                    "proc /proc proc rw 0 0\n"
                    "/dev/sdb1 /media/anna/DATEN exfat rw 0 0\n"
                    "/dev/fd0 /media/floppy vfat rw 0 0\n";
    source.labels = {{"DATEN", "../../sdb1"}, {"FLOPPY", "../../fd0"}};
    return source;
}

} // namespace

TEST(FileExt, KindNames)
{
    EXPECT_STREQ(DriveKindName(dkUnknown), "Laufwerk");
    EXPECT_STREQ(DriveKindName(dkFloppy), "3½-Diskette");
    EXPECT_STREQ(DriveKindName(dkRemovable), "Wechseldatenträger");
    EXPECT_STREQ(DriveKindName(dkFixed), "Lokaler Datenträger");
    EXPECT_STREQ(DriveKindName(dkCdRom), "CD");
    EXPECT_STREQ(DriveKindName(dkNetwork), "Netzwerklaufwerk");
    EXPECT_STREQ(DriveKindName(dkRamDisk), "RAM-Laufwerk");
    EXPECT_STREQ(DriveKindName(static_cast<TDriveKind>(42)), "Laufwerk");
}

TEST(FileExt, DrivesAndKindsComeFromTheSameSource)
{
    KLANG_POSIX_ONLY(); // the mount table
    FakeDrives fake(TwoDisksAndAFloppy());
    const auto drives = GetDrives();
    ASSERT_EQ(drives.size(), 3u);
    EXPECT_EQ(drives[1]->Root, "/media/anna/DATEN/");
    EXPECT_EQ(drives[1]->Name, "DATEN");
    EXPECT_EQ(drives[1]->KindName, "Wechseldatenträger");
    EXPECT_EQ(drives[2]->Name, "3½-Diskette");
    for (const auto &drive : drives)
        EXPECT_EQ(GetDriveKind(drive->Root), drive->Kind) << drive->Root;
    EXPECT_EQ(GetDriveKind("/media/floppy"), dkFloppy);
    EXPECT_EQ(GetDriveKind("/proc/"), dkUnknown);
    EXPECT_EQ(GetDriveKind("/media/anna/"), dkUnknown);
    EXPECT_EQ(GetDriveKind(""), dkUnknown);
}

TEST(FileExt, DrivesOfThisMachine)
{
    KLANG_POSIX_ONLY(); // the mount table
    const auto drives = GetDrives();
    ASSERT_FALSE(drives.empty());
    EXPECT_EQ(drives[0]->Root, "/");
    EXPECT_EQ(GetDriveKind("/"), drives[0]->Kind);
    for (const auto &drive : drives) {
        SCOPED_TRACE(drive->Root);
        EXPECT_EQ(drive->Root.back(), '/');
        for (const char *pseudo : {"/proc/", "/sys/", "/dev/", "/run/user/", "/boot/", "/snap/"})
            EXPECT_NE(drive->Root.rfind(pseudo, 0), 0u);
        EXPECT_FALSE(drive->Name.empty());
    }
}

TEST(FileExt, FoldersOfATree)
{
    KLANG_POSIX_ONLY();
    fixtures::TempDir tmp;
    const std::string &root = tmp.path();
    tmp.Mkdir("Rock");
    tmp.Mkdir(".cache");
    tmp.Mkdir("Jazz/Bebop");
    tmp.Write("cover.jpg", "x");
    tmp.Write(".directory", "x");
    ASSERT_EQ(mkfifo((root + "fifo").c_str(), 0644), 0);
    ASSERT_EQ(symlink((root + "Jazz").c_str(), (root + "JazzLink").c_str()), 0);
    ASSERT_EQ(symlink((root + "cover.jpg").c_str(), (root + "coverLink").c_str()), 0);
    const std::string locked = tmp.Mkdir("Locked");
    chmod(locked.c_str(), 0);

    EXPECT_EQ(GetFolders(root), (TStringArray{".cache", "Jazz", "JazzLink", "Locked", "Rock"}));
    EXPECT_EQ(GetFolders(root + "Jazz"), TStringArray{"Bebop"});
    EXPECT_TRUE(GetFolders(root + "Rock/").empty());
    EXPECT_TRUE(GetFolders(root + "missing/").empty());
    EXPECT_TRUE(GetFolders(root + "cover.jpg").empty());
    // Root reads it anyway; the folder tests of platform/ check it as another user.
    if (geteuid() != 0) {
        EXPECT_TRUE(GetFolders(locked).empty());
    }

    // Between files, in the order Windows lists the folder.
    const fixtures::NtfsNames names = fixtures::NamesInNtfsOrder();
    const std::string mixed = tmp.Mkdir("mixed");
    for (const std::string &name : names.Created) {
        tmp.Mkdir("mixed/" + name);
        tmp.Write("mixed/" + name + ".mp3", "x");
    }
    EXPECT_EQ(GetFolders(mixed), names.Listed);
}
