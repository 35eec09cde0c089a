#include "platform/Drives.h"

#include <gtest/gtest.h>

#include <map>

using namespace platform;

namespace {

// A laptop: root on NVMe, /home on LVM, a USB stick and an audio CD mounted by
// the desktop, an NFS share, a RAM disk, a floppy and a USB disk under /mnt,
// between the kernel's and the desktop's own mounts.
const char *const kLaptopMounts = R"(sysfs /sys sysfs rw,nosuid,nodev,noexec,relatime 0 0
proc /proc proc rw,nosuid,nodev,noexec,relatime 0 0
udev /dev devtmpfs rw,nosuid,relatime,size=8029656k,nr_inodes=2007414,mode=755,inode64 0 0
devpts /dev/pts devpts rw,nosuid,noexec,relatime,gid=5,mode=620,ptmxmode=000 0 0
tmpfs /run tmpfs rw,nosuid,nodev,noexec,relatime,size=1612540k,mode=755,inode64 0 0
/dev/nvme0n1p2 / ext4 rw,relatime,errors=remount-ro 0 0
securityfs /sys/kernel/security securityfs rw,nosuid,nodev,noexec,relatime 0 0
tmpfs /dev/shm tmpfs rw,nosuid,nodev,inode64 0 0
cgroup2 /sys/fs/cgroup cgroup2 rw,nosuid,nodev,noexec,relatime,nsdelegate 0 0
pstore /sys/fs/pstore pstore rw,nosuid,nodev,noexec,relatime 0 0
efivarfs /sys/firmware/efi/efivars efivarfs rw,nosuid,nodev,noexec,relatime 0 0
bpf /sys/fs/bpf bpf rw,nosuid,nodev,noexec,relatime,mode=700 0 0
systemd-1 /proc/sys/fs/binfmt_misc autofs rw,relatime,fd=29,pgrp=1,timeout=0,direct 0 0
hugetlbfs /dev/hugepages hugetlbfs rw,relatime,pagesize=2M 0 0
mqueue /dev/mqueue mqueue rw,nosuid,nodev,noexec,relatime 0 0
debugfs /sys/kernel/debug debugfs rw,nosuid,nodev,noexec,relatime 0 0
tracefs /sys/kernel/tracing tracefs rw,nosuid,nodev,noexec,relatime 0 0
fusectl /sys/fs/fuse/connections fusectl rw,nosuid,nodev,noexec,relatime 0 0
configfs /sys/kernel/config configfs rw,nosuid,nodev,noexec,relatime 0 0
/dev/loop0 /snap/core22/1122 squashfs ro,nodev,relatime,errors=continue 0 0
/dev/nvme0n1p1 /boot/efi vfat rw,relatime,fmask=0077,dmask=0077 0 0
/dev/mapper/vg-home /home ext4 rw,relatime 0 0
binfmt_misc /proc/sys/fs/binfmt_misc binfmt_misc rw,nosuid,nodev,noexec,relatime 0 0
tmpfs /run/user/1000 tmpfs rw,nosuid,nodev,relatime,mode=700,uid=1000,gid=1000,inode64 0 0
gvfsd-fuse /run/user/1000/gvfs fuse.gvfsd-fuse rw,nosuid,nodev,relatime,user_id=1000,group_id=1000 0 0
portal /run/user/1000/doc fuse.portal rw,nosuid,nodev,relatime,user_id=1000,group_id=1000 0 0
/dev/sdb1 /media/anna/MY\040STICK vfat rw,nosuid,nodev,relatime,uid=1000 0 0
/dev/sr0 /media/anna/AUDIO_CD iso9660 ro,nosuid,nodev,relatime,nojoliet,uid=1000,gid=1000 0 0
nas:/export/music /mnt/music nfs4 rw,relatime,vers=4.2 0 0
tmpfs /media/ramdisk tmpfs rw,relatime,size=1G 0 0
/dev/fd0 /mnt/floppy vfat rw 0 0
/dev/sdc1 /mnt/backup ext4 rw 0 0
/dev/sdb1 /media/anna/MY\040STICK vfat rw,nosuid,nodev,relatime,uid=1000 0 0
)";

DriveSource Laptop()
{
    DriveSource source;
    source.mounts = kLaptopMounts;
    source.labels = {{"MY\\x20STICK", "../../sdb1"},
                     {"home", "../../dm-1"},
                     {"AUDIO_CD", "../../sr0"},
                     {"DISK1", "../../fd0"},
                     {"ESP", "../../nvme0n1p1"}};
    source.removable = {{"nvme0n1", false}, {"sdb", true}, {"sdc", true},
                        {"sr0", true},      {"fd0", true}, {"dm-1", false}};
    source.resolve = [](const std::string &device) {
        return device == "/dev/mapper/vg-home" ? std::string("/dev/dm-1") : device;
    };
    return source;
}

struct Expected {
    std::string root, name;
    TDriveKind kind;
};

void ExpectDrives(const TDriveArray &drives, const std::vector<Expected> &expected)
{
    ASSERT_EQ(drives.size(), expected.size());
    for (size_t i = 0; i < drives.size(); ++i) {
        SCOPED_TRACE(expected[i].root);
        EXPECT_EQ(drives[i]->Root, expected[i].root);
        EXPECT_EQ(drives[i]->Name, expected[i].name);
        EXPECT_EQ(drives[i]->Kind, expected[i].kind);
        EXPECT_EQ(drives[i]->KindName, DriveKindName(expected[i].kind));
        EXPECT_EQ(drives[i]->Letter, 0);
    }
}

} // namespace

TEST(Drives, LaptopWithStickCdShareAndRamDisk)
{
    const DriveSource source = Laptop();
    std::map<std::string, int> queries;
    const auto drives = MakeDrives(source, [&](const Volume &v) {
        ++queries[v.root];
        return LabelOf(source, v.device);
    });
    ExpectDrives(drives, {
                             {"/", "Lokaler Datenträger", dkFixed},
                             {"/home/", "home", dkFixed},
                             {"/media/anna/MY STICK/", "MY STICK", dkRemovable},
                             {"/media/anna/AUDIO_CD/", "CD", dkCdRom},
                             {"/mnt/music/", "Netzwerklaufwerk", dkNetwork},
                             {"/media/ramdisk/", "RAM-Laufwerk", dkRamDisk},
                             {"/mnt/floppy/", "3½-Diskette", dkFloppy},
                             {"/mnt/backup/", "Wechseldatenträger", dkRemovable},
                         });
    EXPECT_EQ(queries.count("/media/anna/AUDIO_CD/"), 0u);
    EXPECT_EQ(queries.count("/mnt/floppy/"), 0u);
    EXPECT_EQ(queries["/"], 1);
    EXPECT_EQ(queries["/media/anna/MY STICK/"], 1);
    EXPECT_EQ(queries.size(), 6u);
}

TEST(Drives, ContainerWithOverlayRoot)
{
    DriveSource source;
    source.mounts =
        R"(overlay / overlay rw,relatime,lowerdir=/var/lib/docker/overlay2/l/A:/var/lib/docker/overlay2/l/B,upperdir=/var/lib/docker/overlay2/x/diff 0 0
proc /proc proc rw,nosuid,nodev,noexec,relatime 0 0
tmpfs /dev tmpfs rw,nosuid,size=65536k,mode=755,inode64 0 0
devpts /dev/pts devpts rw,nosuid,noexec,relatime,gid=5,mode=620,ptmxmode=666 0 0
sysfs /sys sysfs ro,nosuid,nodev,noexec,relatime 0 0
cgroup /sys/fs/cgroup cgroup2 ro,nosuid,nodev,noexec,relatime 0 0
mqueue /dev/mqueue mqueue rw,nosuid,nodev,noexec,relatime 0 0
shm /dev/shm tmpfs rw,nosuid,nodev,noexec,relatime,size=65536k,inode64 0 0
/dev/vda1 /etc/resolv.conf ext4 rw,relatime,discard 0 0
/dev/vda1 /etc/hostname ext4 rw,relatime,discard 0 0
/dev/vda1 /etc/hosts ext4 rw,relatime,discard 0 0
/dev/vda1 /music ext4 rw,relatime,discard 0 0
proc /proc/bus proc ro,nosuid,nodev,noexec,relatime 0 0
tmpfs /proc/acpi tmpfs ro,relatime,inode64 0 0
)";
    source.labels = {{"cloudimg-rootfs", "/dev/vda1"}};
    ExpectDrives(MakeDrives(source), {
                                         {"/", "Lokaler Datenträger", dkFixed},
                                         {"/music/", "cloudimg-rootfs", dkFixed},
                                     });
}

TEST(Drives, RootIsListedFirstWhateverTheTableSays)
{
    DriveSource source;
    ExpectDrives(MakeDrives(source), {{"/", "Lokaler Datenträger", dkFixed}});

    // Older kernels list the initial rootfs before the real root.
    source.mounts = "rootfs / rootfs rw 0 0\n/dev/sda2 /data xfs rw 0 0\n/dev/root / ext4 rw 0 0\n";
    source.labels = {{"SYSTEM", "../../root"}};
    ExpectDrives(MakeDrives(source), {{"/", "SYSTEM", dkFixed}, {"/data/", "Lokaler Datenträger", dkFixed}});

    source.mounts = "server:/roots/a / nfs rw 0 0\n";
    ExpectDrives(MakeDrives(source), {{"/", "Netzwerklaufwerk", dkNetwork}});
}

TEST(Drives, EachMountPointOnceAndTheRealOneOfAnAutomount)
{
    DriveSource source;
    source.mounts = "/dev/sda1 / ext4 rw 0 0\n"
                    "systemd-1 /net/nas autofs rw 0 0\n"
                    "//nas/music /net/nas cifs rw 0 0\n"
                    "anna@host:/srv /net/nas fuse.sshfs rw 0 0\n"
                    "anna@host:/srv /net/ssh fuse.sshfs rw 0 0\n"
                    "nas:/a /net/smb smb3 rw 0 0\n"
                    "nas:/b /net/nfs nfs rw 0 0\n";
    ExpectDrives(MakeDrives(source), {{"/", "Lokaler Datenträger", dkFixed},
                                      {"/net/nas/", "Netzwerklaufwerk", dkNetwork},
                                      {"/net/ssh/", "Netzwerklaufwerk", dkNetwork},
                                      {"/net/smb/", "Netzwerklaufwerk", dkNetwork},
                                      {"/net/nfs/", "Netzwerklaufwerk", dkNetwork}});
}

TEST(Drives, RamDisksOnlyWhereTheUserMountsThem)
{
    DriveSource source;
    source.mounts = "tmpfs /tmp tmpfs rw 0 0\n"
                    "tmpfs /mnt/ram tmpfs rw 0 0\n"
                    "tmpfs /mnt/a/b tmpfs rw 0 0\n"
                    "ramfs /media/r ramfs rw 0 0\n"
                    "tmpfs /media/anna/r tmpfs rw 0 0\n"
                    "tmpfs /media/anna/r/deeper tmpfs rw 0 0\n"
                    "tmpfs /run/media/anna/r tmpfs rw 0 0\n"
                    "tmpfs /run/media/r tmpfs rw 0 0\n"
                    "tmpfs /run/lock tmpfs rw 0 0\n";
    std::vector<std::string> roots;
    for (const auto &v : ListVolumes(source))
        roots.push_back(v.root);
    EXPECT_EQ(roots, (std::vector<std::string>{"/", "/mnt/ram/", "/media/r/", "/media/anna/r/",
                                               "/run/media/anna/r/"}));
}

TEST(Drives, RemovableFromTheDiskOfAPartitionOrTheMountPlace)
{
    DriveSource source;
    source.mounts = "/dev/mmcblk0p1 /mnt/sd vfat rw 0 0\n"
                    "/dev/nvme0n1p3 /mnt/nvme ext4 rw 0 0\n"
                    "/dev/sdd /mnt/whole ext4 rw 0 0\n"
                    "/dev/sde1 /mnt/unknown ext4 rw 0 0\n"
                    "/dev/sda5 /run/media/anna/DATA ext4 rw 0 0\n"
                    "/dev/disk/by-uuid/0a1b /mnt/uuid ext4 rw 0 0\n"
                    "/dev/fd1 /mnt/b vfat rw 0 0\n"
                    "/dev/sr1 /mnt/dvd udf ro 0 0\n";
    source.removable = {{"mmcblk0", true}, {"nvme0n1", false}, {"sdd", true}, {"sda", false}, {"sdf", true}};
    source.resolve = [](const std::string &device) {
        return device == "/dev/disk/by-uuid/0a1b" ? std::string("/dev/sdf2") : device;
    };
    std::vector<TDriveKind> kinds;
    for (const auto &v : ListVolumes(source))
        kinds.push_back(v.kind);
    EXPECT_EQ(kinds, (std::vector<TDriveKind>{dkFixed, dkRemovable, dkFixed, dkRemovable, dkFixed,
                                              dkRemovable, dkRemovable, dkFloppy, dkCdRom}));
}

TEST(Drives, MountTableEscapesAreDecoded)
{
    const auto entries = ParseMountTable("/dev/sdb1 /media/a/My\\040Music\\011Tab\\134x\\012 vfat rw 0 0\n"
                                         "\n"
                                         "garbage\n"
                                         "/dev/sdc1 /mnt/odd\\04 ext4 rw 0 0\n"
                                         "/dev/sdc2 /mnt/end\\\t ext4 rw 0 0\n");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].mountPoint, "/media/a/My Music\tTab\\x\n");
    EXPECT_EQ(entries[0].type, "vfat");
    EXPECT_EQ(entries[1].mountPoint, "/mnt/odd\\04");
    EXPECT_EQ(entries[2].mountPoint, "/mnt/end\\");
}

TEST(Drives, LabelsThroughLinksWithEscapes)
{
    DriveSource source;
    source.labels = {{"Musik\\x20von\\x2fAnna", "../../sdb1"},
                     {"B\\xc3\\xbcro", "/dev/dm-0"},
                     {"bad\\xZZ\\x2", "../../sdc1"}};
    source.resolve = [](const std::string &device) {
        return device == "/dev/mapper/crypt" ? std::string("/dev/dm-0") : device;
    };
    EXPECT_EQ(LabelOf(source, "/dev/sdb1"), "Musik von/Anna");
    EXPECT_EQ(LabelOf(source, "/dev/mapper/crypt"), "Büro");
    EXPECT_EQ(LabelOf(source, "/dev/sdc1"), "bad\\xZZ\\x2");
    EXPECT_EQ(LabelOf(source, "/dev/sdb2"), "");
    EXPECT_EQ(LabelOf(source, "tmpfs"), "");
}
