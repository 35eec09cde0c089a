// Reading folders and finding the per-user folders. Any thread; nothing here
// keeps state.
#pragma once

#include <string>
#include <vector>

namespace platform {

// One entry of a folder, with the attributes the Windows side reports for a
// find-first/next match. Links are followed: a link to a folder is a folder.
struct DirEntry {
    std::string name;
    bool hidden = false;   // the name starts with "."
    bool folder = false;   // a directory
    bool system = false;   // neither a regular file nor a directory (FIFO, socket, device, dangling link)
    bool readOnly = false; // the program may not write to it
    bool archive = false;  // a regular file
};

// The entries of a folder (with or without a trailing "/") in the order the
// file system returns them, without "." and "..". A folder that does not
// exist or cannot be read gives an empty list.
std::vector<DirEntry> ListFolder(const std::string &folder);

// The path of a per-user shell folder without a trailing "/", empty when the
// name is unknown or there is no such folder. "AppData" is the configuration
// folder: $XDG_CONFIG_HOME when it is set and absolute, else $HOME/.config.
std::string ShellFolder(const std::string &name);

} // namespace platform
