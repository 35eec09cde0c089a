#include "platform/DriveTypes.h"

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
