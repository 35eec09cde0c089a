#include "library/FileExt.h"

#include "platform/Drives.h"
#include "platform/Folders.h"

const char *DriveKindName(TDriveKind kind)
{
    switch (kind) {
    case dkFloppy:
        return "3½-Diskette";
    case dkRemovable:
        return "Wechseldatenträger";
    case dkFixed:
        return "Lokaler Datenträger";
    case dkCdRom:
        return "CD";
    case dkNetwork:
        return "Netzwerklaufwerk";
    case dkRamDisk:
        return "RAM-Laufwerk";
    case dkUnknown:
        break;
    }
    return "Laufwerk";
}

TDriveArray GetDrives()
{
    return platform::SystemDrives();
}

TDriveKind GetDriveKind(const std::string &root)
{
    return platform::SystemDriveKind(root);
}

TStringArray GetFolders(const std::string &path)
{
    TStringArray names;
    for (auto &entry : platform::ListFolder(path))
        if (entry.folder)
            names.push_back(std::move(entry.name));
    return names;
}

std::string GetShellFolder(const std::string &name)
{
    return platform::ShellFolder(name);
}
