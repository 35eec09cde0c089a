// The drives of a Windows computer: its drive letters.
#include "platform/Drives.h"
#include "platform/WideText.h"

#include <windows.h>

namespace platform {

namespace {

TDriveKind KindOfType(UINT type)
{
    switch (type) {
    case DRIVE_REMOVABLE:
        return dkRemovable;
    case DRIVE_FIXED:
        return dkFixed;
    case DRIVE_REMOTE:
        return dkNetwork;
    case DRIVE_CDROM:
        return dkCdRom;
    case DRIVE_RAMDISK:
        return dkRamDisk;
    default:
        return dkUnknown;
    }
}

// Drive A: and B: are the floppy drives, which GetDriveTypeW reports as removable.
TDriveKind KindOf(const std::wstring &root)
{
    TDriveKind kind = KindOfType(GetDriveTypeW(root.c_str()));
    if (kind == dkRemovable && root.size() >= 2 &&
        (root[0] == L'A' || root[0] == L'B' || root[0] == L'a' || root[0] == L'b'))
        return dkFloppy;
    return kind;
}

// The roots ("C:\") in the order GetLogicalDriveStringsW gives them.
std::vector<std::wstring> Roots()
{
    std::vector<wchar_t> buffer(256);
    for (;;) {
        DWORD n = GetLogicalDriveStringsW(static_cast<DWORD>(buffer.size()), buffer.data());
        if (n == 0)
            return {};
        if (n < buffer.size())
            break;
        buffer.resize(n + 1);
    }
    std::vector<std::wstring> roots;
    for (const wchar_t *p = buffer.data(); *p; p += wcslen(p) + 1)
        roots.emplace_back(p);
    return roots;
}

} // namespace

TDriveArray SystemDrives()
{
    // No "insert a disk" box for an empty drive while its label is asked for.
    const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    TDriveArray drives;
    for (const std::wstring &root : Roots()) {
        auto drive = std::make_unique<TDrive>();
        drive->Letter = static_cast<char>(root[0]);
        drive->Root = WideToUtf8(root);
        drive->Kind = KindOf(root);
        drive->KindName = DriveKindName(drive->Kind);
        drive->Name = drive->KindName;
        // Floppy and CD drives are not asked: that would spin them up.
        if (drive->Kind != dkFloppy && drive->Kind != dkCdRom) {
            wchar_t label[MAX_PATH + 1] = {};
            if (GetVolumeInformationW(root.c_str(), label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr,
                                      0) &&
                label[0])
                drive->Name = WideToUtf8(label);
        }
        drives.push_back(std::move(drive));
    }
    SetErrorMode(oldMode);
    return drives;
}

TDriveKind SystemDriveKind(const std::string &root)
{
    // A drive root is exactly three characters: "C:\".
    if (root.size() != 3 || root[1] != ':' || (root[2] != '\\' && root[2] != '/'))
        return dkUnknown;
    return KindOf(Utf8ToWide(root.substr(0, 2) + "\\"));
}

} // namespace platform
