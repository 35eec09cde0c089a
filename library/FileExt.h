// Drives and folders of the file system. Main thread.
#pragma once

#include "library/LanExt.h"
#include "platform/DriveTypes.h"

#include <string>
#include <vector>

TDriveArray GetDrives();
// The kind of the drive whose root is the given folder (ending in "/", on
// Windows a drive root such as "C:\").
TDriveKind GetDriveKind(const std::string &root);
// The sub-folders' names of a folder, in the order the file system reports them.
TStringArray GetFolders(const std::string &path);
// The path of a per-user shell folder ("AppData"), empty if there is none.
std::string GetShellFolder(const std::string &name);
