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
    return platform::MakeDrives(platform::CurrentDriveSource());
}

TDriveKind GetDriveKind(const std::string &root)
{
    if (root.empty())
        return dkUnknown;
    const std::string wanted = root.back() == '/' ? root : root + "/";
    for (const auto &volume : platform::ListVolumes(platform::CurrentDriveSource()))
        if (volume.root == wanted)
            return volume.kind;
    return dkUnknown;
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
