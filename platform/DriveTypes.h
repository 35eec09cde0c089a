// What the system layer tells about a drive: its kind, German kind name,
// label, letter (Windows) and root folder.
#pragma once

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
    char Letter = 0;  // the drive letter on Windows; 0 on Linux
    std::string Name; // the volume label when not empty, else KindName
    TDriveKind Kind = dkUnknown;
    std::string KindName;
    std::string Root; // the drive's root folder: "/", "/media/anna/STICK/"; "C:\" on Windows
};

// New objects on every call; the caller owns them.
using TDriveArray = std::vector<std::unique_ptr<TDrive>>;
