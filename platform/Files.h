// Opening files by name for reading. Any thread; nothing here keeps state.
// The engine and its plug-ins compile this unit in as well, so that every
// reader of the program refuses the same files in the same way.
#pragma once

#include <cstdio>

namespace platform {

// Opens a regular file (links followed) for reading and returns its
// descriptor, or -1 with the system's error code in error. The open never
// waits: a FIFO without a writer or a device is refused at once (ENXIO), a
// folder with EISDIR. The descriptor blocks as usual for its reads.
int OpenRegularFile(const char *path, int &error);

// The same as a stdio stream ("rb"); nullptr when OpenRegularFile refuses.
std::FILE *OpenRegularFileStream(const char *path);

// Closes what OpenRegularFile returned.
void CloseFile(int fd);

} // namespace platform
