#include "library/FileExt.h"

#include "platform/Drives.h"
#include "platform/Folders.h"

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
    return platform::ListSubFolders(path);
}

std::string GetShellFolder(const std::string &name)
{
    return platform::ShellFolder(name);
}
