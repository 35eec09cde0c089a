#include "SysLibrary.h"

#if defined(_WIN32)
#include "SysFile.h"

#include <windows.h>
#else
#include "platform/Files.h"

#include <dlfcn.h>
#endif

namespace klang {

#if defined(_WIN32)

void *LoadSharedLibrary(const char *path)
{
    const std::wstring wide = WideName(path);
    if (wide.empty())
        return nullptr;
    // No message box for a file that is not a DLL: a bad plug-in is an error
    // result, never a dialog.
    UINT old = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = LoadLibraryW(wide.c_str());
    SetErrorMode(old);
    return reinterpret_cast<void *>(module);
}

void *SharedLibrarySymbol(void *library, const char *name)
{
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void UnloadSharedLibrary(void *library)
{
    FreeLibrary(static_cast<HMODULE>(library));
}

#else

void *LoadSharedLibrary(const char *path)
{
    // dlopen would wait on a FIFO named like a library; only regular files go to it.
    int error = 0;
    const int fd = platform::OpenRegularFile(path, error);
    if (fd < 0)
        return nullptr;
    platform::CloseFile(fd);
    return dlopen(path, RTLD_NOW | RTLD_LOCAL);
}

void *SharedLibrarySymbol(void *library, const char *name)
{
    return dlsym(library, name);
}

void UnloadSharedLibrary(void *library)
{
    dlclose(library);
}

#endif

} // namespace klang
