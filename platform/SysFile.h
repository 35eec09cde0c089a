// Reading files on Windows by their UTF-16 names (the POSIX side of the
// file stream opens by the UTF-8 name directly).
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Opens a file for reading; others may read it meanwhile but not write.
// Returns the handle and the size, or nullptr and the open error's text:
// "Datei <full path> kann nicht geöffnet werden. <the system's message>".
void *OpenForSharedReading(const std::u16string &fileName, int64_t &size, std::string &error);
// Reads up to count bytes at offset; the bytes read, 0 at the end or on error.
int64_t ReadFileAt(void *handle, void *buffer, int64_t count, int64_t offset);
void CloseFile(void *handle);
// True when a search for the name finds an entry that is not a folder. A name
// with wildcards ("*", "?") is never a file, even when files match it.
bool FileExists(const std::u16string &fileName);

// The system's text for an error code, trimmed; "Unspecified error (<code>)
// from system." when the system has none.
std::string SystemErrorText(unsigned long code);

} // namespace platform
