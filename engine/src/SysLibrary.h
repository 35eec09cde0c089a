// Loading shared libraries (the engine's plug-ins) by their UTF-8 name.
#pragma once

namespace klang {

// A handle of the loaded library, nullptr when it cannot be loaded. On POSIX
// only a regular file is loaded, and the check never waits.
void *LoadSharedLibrary(const char *path);
// The address of an exported function, nullptr when there is none.
void *SharedLibrarySymbol(void *library, const char *name);
void UnloadSharedLibrary(void *library);

} // namespace klang
