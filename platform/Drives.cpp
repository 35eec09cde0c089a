#include "platform/Drives.h"

#include <climits>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#if !defined(_WIN32)
#include <dirent.h>
#include <unistd.h>
#endif

namespace platform {

namespace {

const char *const kLabelFolder = "/dev/disk/by-label/";

const std::set<std::string> kNetworkTypes = {"nfs", "nfs4", "cifs", "smb3", "fuse.sshfs"};
const std::set<std::string> kOpticalTypes = {"iso9660", "udf"};
const std::set<std::string> kRamTypes = {"tmpfs", "ramfs"};
// Kernel and container file systems; some name a device under /dev/ anyway.
const std::set<std::string> kPseudoTypes = {
    "proc",     "sysfs",       "cgroup",   "cgroup2",    "devtmpfs",   "devpts",    "mqueue",    "overlay",
    "autofs",   "debugfs",     "tracefs",  "securityfs", "pstore",     "bpf",       "hugetlbfs", "fusectl",
    "configfs", "binfmt_misc", "efivarfs", "nsfs",       "rpc_pipefs", "selinuxfs", "rootfs",    "squashfs",
};
// Local file systems whose mounts name a dataset, not a device.
const std::set<std::string> kPoolTypes = {"zfs"};

bool StartsWith(const std::string &text, const std::string &prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool IsUnder(const std::string &path, const std::string &folder)
{
    return path == folder || StartsWith(path, folder + "/");
}

bool IsOctal(char c, char highest = '7')
{
    return c >= '0' && c <= highest;
}

// The mount table writes blanks, tabs, newlines and backslashes as \ooo.
std::string DecodeOctalEscapes(const std::string &field)
{
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && IsOctal(field[i + 1], '3') && IsOctal(field[i + 2]) &&
            IsOctal(field[i + 3])) {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                     (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// udev writes blanks, slashes and other unsafe bytes of a label as \xHH.
std::string DecodeUdevEscapes(const std::string &name)
{
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x' && HexDigit(name[i + 2]) >= 0 &&
            HexDigit(name[i + 3]) >= 0) {
            out += static_cast<char>(HexDigit(name[i + 2]) * 16 + HexDigit(name[i + 3]));
            i += 3;
        } else {
            out += name[i];
        }
    }
    return out;
}

// The non-empty elements of a path.
std::vector<std::string> SplitPath(const std::string &path)
{
    std::vector<std::string> parts;
    std::stringstream in(path);
    std::string part;
    while (std::getline(in, part, '/'))
        if (!part.empty())
            parts.push_back(part);
    return parts;
}

// "/dev/disk/by-label/../../sdb1" gives "/dev/sdb1".
std::string NormalisePath(const std::string &path)
{
    std::vector<std::string> parts;
    for (const auto &part : SplitPath(path)) {
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (part != ".") {
            parts.push_back(part);
        }
    }
    std::string out;
    for (const auto &p : parts)
        out += "/" + p;
    return out.empty() ? "/" : out;
}

std::string Resolve(const DriveSource &source, const std::string &device)
{
    return source.resolve ? source.resolve(device) : device;
}

// The mount points the desktop gives RAM disks of their own.
bool IsUserMountPoint(const std::string &mountPoint)
{
    const auto parts = SplitPath(mountPoint);
    if (parts.size() == 2 && (parts[0] == "mnt" || parts[0] == "media"))
        return true;
    if (parts.size() == 3 && parts[0] == "media")
        return true;
    return parts.size() == 4 && parts[0] == "run" && parts[1] == "media";
}

// System areas whose mounts are no drives to browse: kernel interfaces,
// boot partitions, snap images, and the files a container gets bound in.
bool IsSystemArea(const std::string &mountPoint)
{
    for (const char *area : {"/proc", "/sys", "/dev", "/boot", "/snap", "/var/lib/snapd", "/etc"})
        if (IsUnder(mountPoint, area))
            return true;
    return IsUnder(mountPoint, "/run") && !StartsWith(mountPoint, "/run/media/");
}

bool IsRealFileSystem(const MountEntry &entry)
{
    if (entry.mountPoint.empty() || entry.mountPoint[0] != '/' || IsSystemArea(entry.mountPoint))
        return false;
    if (kNetworkTypes.count(entry.type) || kOpticalTypes.count(entry.type) || kPoolTypes.count(entry.type))
        return true;
    if (kRamTypes.count(entry.type))
        return IsUserMountPoint(entry.mountPoint);
    if (kPseudoTypes.count(entry.type))
        return false;
    return StartsWith(entry.device, "/dev/");
}

// sdb1 lies on sdb, mmcblk0p1 on mmcblk0, nvme0n1p2 on nvme0n1; a device
// that is a whole disk is found as it is.
std::optional<bool> RemovableFlag(const DriveSource &source, const std::string &device)
{
    std::string name = Resolve(source, device);
    name = name.substr(name.rfind('/') + 1);
    if (auto it = source.removable.find(name); it != source.removable.end())
        return it->second;
    size_t end = name.size();
    while (end > 0 && name[end - 1] >= '0' && name[end - 1] <= '9')
        --end;
    if (end == name.size() || end == 0)
        return std::nullopt;
    std::string disk = name.substr(0, end);
    if (auto it = source.removable.find(disk); it != source.removable.end())
        return it->second;
    if (disk.size() > 1 && disk.back() == 'p' && disk[disk.size() - 2] >= '0' &&
        disk[disk.size() - 2] <= '9') {
        disk.pop_back();
        if (auto it = source.removable.find(disk); it != source.removable.end())
            return it->second;
    }
    return std::nullopt;
}

TDriveKind KindOf(const DriveSource &source, const MountEntry &entry)
{
    if (StartsWith(entry.device, "/dev/fd"))
        return dkFloppy;
    if (kOpticalTypes.count(entry.type))
        return dkCdRom;
    if (kNetworkTypes.count(entry.type))
        return dkNetwork;
    if (kRamTypes.count(entry.type))
        return dkRamDisk;
    if (kPoolTypes.count(entry.type))
        return dkFixed;
    if (!StartsWith(entry.device, "/dev/"))
        return dkUnknown;
    if (RemovableFlag(source, entry.device).value_or(false) || StartsWith(entry.mountPoint, "/media/") ||
        StartsWith(entry.mountPoint, "/run/media/"))
        return dkRemovable;
    return dkFixed;
}

Volume MakeVolume(const DriveSource &source, const MountEntry &entry)
{
    Volume v;
    v.device = entry.device;
    v.mountPoint = entry.mountPoint;
    v.type = entry.type;
    v.root = entry.mountPoint.back() == '/' ? entry.mountPoint : entry.mountPoint + "/";
    v.kind = KindOf(source, entry);
    return v;
}

#if !defined(_WIN32)
std::string ReadFile(const char *path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

template <typename F> void ForEachName(const char *folder, F f)
{
    std::unique_ptr<DIR, int (*)(DIR *)> dir(opendir(folder), closedir);
    if (!dir)
        return;
    while (const dirent *d = readdir(dir.get())) {
        const std::string name = d->d_name;
        if (name != "." && name != "..")
            f(name);
    }
}

DriveSource MachineDriveSource()
{
    DriveSource source;
    source.mounts = ReadFile("/proc/self/mounts");
    ForEachName(kLabelFolder, [&](const std::string &name) {
        char target[PATH_MAX];
        const ssize_t n = readlink((kLabelFolder + name).c_str(), target, sizeof target - 1);
        if (n > 0)
            source.labels.push_back({name, std::string(target, static_cast<size_t>(n))});
    });
    ForEachName("/sys/block", [&](const std::string &disk) {
        const std::string flag = ReadFile(("/sys/block/" + disk + "/removable").c_str());
        source.removable[disk] = !flag.empty() && flag[0] == '1';
    });
    source.resolve = [](const std::string &device) {
        if (device.empty() || device[0] != '/')
            return device;
        std::unique_ptr<char, void (*)(void *)> real(realpath(device.c_str(), nullptr), std::free);
        return real ? std::string(real.get()) : device;
    };
    return source;
}
#endif

std::optional<DriveSource> &TestSource()
{
    static std::optional<DriveSource> source;
    return source;
}

} // namespace

std::vector<MountEntry> ParseMountTable(const std::string &text)
{
    std::vector<MountEntry> entries;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        MountEntry entry;
        if (fields >> entry.device >> entry.mountPoint >> entry.type) {
            entry.device = DecodeOctalEscapes(entry.device);
            entry.mountPoint = DecodeOctalEscapes(entry.mountPoint);
            entry.type = DecodeOctalEscapes(entry.type);
            entries.push_back(std::move(entry));
        }
    }
    return entries;
}

std::vector<Volume> ListVolumes(const DriveSource &source)
{
    const auto entries = ParseMountTable(source.mounts);

    // "/" is there even when it is no real file system (a container's
    // overlay); its kind is then the local disk's.
    const MountEntry *root = nullptr;
    for (const auto &e : entries) {
        if (e.mountPoint != "/")
            continue;
        if (IsRealFileSystem(e)) {
            root = &e;
            break;
        }
        if (!root)
            root = &e;
    }
    std::vector<Volume> volumes;
    volumes.push_back(root ? MakeVolume(source, *root) : MakeVolume(source, {"", "/", ""}));
    if (volumes[0].kind == dkUnknown)
        volumes[0].kind = dkFixed;

    std::set<std::string> seen = {"/"};
    for (const auto &e : entries)
        if (IsRealFileSystem(e) && seen.insert(e.mountPoint).second)
            volumes.push_back(MakeVolume(source, e));
    return volumes;
}

std::string LabelOf(const DriveSource &source, const std::string &device)
{
    if (!StartsWith(device, "/dev/"))
        return "";
    const std::string real = Resolve(source, device);
    for (const auto &link : source.labels) {
        const std::string target =
            NormalisePath(link.target[0] == '/' ? link.target : kLabelFolder + link.target);
        if (Resolve(source, target) == real)
            return DecodeUdevEscapes(link.name);
    }
    return "";
}

TDriveArray MakeDrives(const DriveSource &source, const LabelQuery &label)
{
    TDriveArray drives;
    for (const auto &v : ListVolumes(source)) {
        auto drive = std::make_unique<TDrive>();
        drive->Kind = v.kind;
        drive->KindName = DriveKindName(v.kind);
        drive->Name = drive->KindName;
        drive->Root = v.root;
        if (v.kind != dkFloppy && v.kind != dkCdRom)
            if (std::string name = label(v); !name.empty())
                drive->Name = name;
        drives.push_back(std::move(drive));
    }
    return drives;
}

TDriveArray MakeDrives(const DriveSource &source)
{
    return MakeDrives(source, [&](const Volume &v) { return LabelOf(source, v.device); });
}

DriveSource CurrentDriveSource()
{
    if (TestSource())
        return *TestSource();
#if defined(_WIN32)
    return {}; // Windows has drive letters, not a mount table: see Drives_win.cpp
#else
    return MachineDriveSource();
#endif
}

#if !defined(_WIN32)
TDriveArray SystemDrives()
{
    return MakeDrives(CurrentDriveSource());
}

TDriveKind SystemDriveKind(const std::string &root)
{
    if (root.empty())
        return dkUnknown;
    const std::string wanted = root.back() == '/' ? root : root + "/";
    for (const auto &volume : ListVolumes(CurrentDriveSource()))
        if (volume.root == wanted)
            return volume.kind;
    return dkUnknown;
}
#endif

void SetDriveSourceForTesting(std::optional<DriveSource> source)
{
    TestSource() = std::move(source);
}

} // namespace platform
