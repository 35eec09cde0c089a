// Reading folders and finding the per-user folders. Any thread; nothing here
// keeps state.
#pragma once

#include <string>
#include <vector>

namespace platform {

// One entry of a folder, with the attributes of a find-first/next match. On
// Windows they are the entry's own attribute bits; on Linux they are carried
// over as below. Links are followed: a link to a folder is a folder.
struct DirEntry {
    std::string name;
    bool hidden = false;   // the name starts with "."
    bool folder = false;   // a directory
    bool system = false;   // neither a regular file nor a directory (FIFO, socket, device, dangling link)
    bool readOnly = false; // the program may not write to it; on Linux only when asked for
    bool archive = false;  // a regular file
};

// The entries of a folder (with or without a trailing "/"), without "." and
// "..", in the order Windows lists an NTFS folder: by the names' UTF-16 code
// units after upper-casing, names equal so by their exact bytes. On Windows
// the file system's own order. A folder that does not
// exist or cannot be read gives an empty list. On Linux readOnly costs a
// check per entry, which a large folder would feel; it is made only with
// withReadOnly, and false otherwise.
std::vector<DirEntry> ListFolder(const std::string &folder, bool withReadOnly = false);

// The names of the entries of ListFolder that are folders, in the same
// order, without looking at the others: on Linux a file costs no more than
// reading its name past, so a folder's sub-folders are found as quickly
// beside 100,000 files as beside none.
std::vector<std::string> ListSubFolders(const std::string &folder);

// The path of a per-user shell folder without a trailing "/", empty when the
// name is unknown or there is no such folder. On Linux "AppData" is the
// configuration folder: $XDG_CONFIG_HOME when it is set and absolute, else
// $HOME/.config. On Windows every name is a value of the current user's
// registry key "...\Explorer\Shell Folders", returned as stored; a value of
// another type than a string is a std::runtime_error.
std::string ShellFolder(const std::string &name);

} // namespace platform
