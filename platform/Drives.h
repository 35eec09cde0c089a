// The computer's drives, from the mount table. Main thread (the test source
// below is process-wide and not guarded).
//
// GetDrives lists "/" first, then every mount of a real file system in the
// order of the mount table, each mount point once. Everything here works on a
// DriveSource, the text of the mount table with the by-label links and the
// removable flags of the disks, so that tables of other machines can be fed in.
#pragma once

#include "platform/DriveTypes.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// A link in /dev/disk/by-label: its name (with udev's \xHH escapes) and
// where it points, as readlink gives it ("../../sdb1").
struct LabelEntry {
    std::string name;
    std::string target;
};

struct DriveSource {
    std::string mounts;                    // the text of /proc/self/mounts
    std::vector<LabelEntry> labels;        // the links of /dev/disk/by-label
    std::map<std::string, bool> removable; // /sys/block/<disk>/removable by disk name ("sdb")
    // Resolves a device path that is itself a link (/dev/mapper/NAME,
    // /dev/disk/by-uuid/...) to the real device; none leaves paths as they are.
    std::function<std::string(const std::string &device)> resolve;
};

// One line of the mount table, its escapes (\040 for a blank, ...) decoded.
struct MountEntry {
    std::string device;
    std::string mountPoint;
    std::string type;
};

// One drive before its label is known.
struct Volume {
    std::string device;
    std::string mountPoint;
    std::string type;
    std::string root; // the mount point with a trailing "/"
    TDriveKind kind = dkUnknown;
};

// Asks for the label of a volume; "" when it has none.
using LabelQuery = std::function<std::string(const Volume &volume)>;

std::vector<MountEntry> ParseMountTable(const std::string &text);
// The drives of the source, "/" first, without labels.
std::vector<Volume> ListVolumes(const DriveSource &source);
// The label of a device from the by-label links, "" when none points to it.
std::string LabelOf(const DriveSource &source, const std::string &device);
// The drives with their names. The label query is never made for floppy and
// optical drives; a drive whose label is empty is named after its kind.
TDriveArray MakeDrives(const DriveSource &source, const LabelQuery &label);
TDriveArray MakeDrives(const DriveSource &source);

// The drives of this computer as the tree lists them: on Linux the mount
// table's (or the test source's), on Windows the drive letters in the order
// of GetLogicalDriveStringsW, named by their volume labels.
TDriveArray SystemDrives();
// The kind of the drive whose root is the given folder ("/media/STICK/",
// "D:\"); unknown when no drive has that root.
TDriveKind SystemDriveKind(const std::string &root);

// The source of this machine, or the one set for testing.
DriveSource CurrentDriveSource();
// Makes GetDrives and GetDriveKind use the given source instead of this
// machine's; nullopt returns to the machine.
void SetDriveSourceForTesting(std::optional<DriveSource> source);

} // namespace platform
