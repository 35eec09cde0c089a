// Drives and folders of the file system. Main thread.
#pragma once

#include "library/LanExt.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

enum TDriveKind : uint8_t {
    dkUnknown = 0,
    dkFloppy = 1,
    dkRemovable = 2,
    dkFixed = 3,
    dkCdRom = 4,
    dkNetwork = 5,
    dkRamDisk = 6,
};

// The German name of a kind ("Lokaler Datenträger", ...).
const char *DriveKindName(TDriveKind kind);

class TDrive {
public:
    char Letter = 0;      // the drive letter on Windows; 0 here
    std::string Name;     // the volume label when not empty, else KindName
    TDriveKind Kind = dkUnknown;
    std::string KindName;
    std::string Root;     // the drive's root folder, ending in "/" ("/", "/media/anna/STICK/")
};

// New objects on every call; the caller owns them.
using TDriveArray = std::vector<std::unique_ptr<TDrive>>;

TDriveArray GetDrives();
// The kind of the drive whose root is the given folder (ending in "/").
TDriveKind GetDriveKind(const std::string &root);
// The sub-folders' names of a folder, in the order the file system reports them.
TStringArray GetFolders(const std::string &path);
// The path of a per-user shell folder ("AppData"), empty if there is none.
std::string GetShellFolder(const std::string &name);
