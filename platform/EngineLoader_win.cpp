// The engine is bass\bass.dll beside the program, a folder Windows does not
// search for DLLs. Programs import it delay-loaded; this hook loads it from
// there by its UTF-16 path when its first function is called. It is linked
// into each program that uses the engine (not taken from a library, where
// the linker would not pick it).
#include "platform/Hooks.h"
#include "platform/WideText.h"

#include <cstring>
#include <windows.h>
// after windows.h, whose types it uses
#include <delayimp.h>

namespace {

FARPROC WINAPI LoadEngineBesideTheProgram(unsigned notify, PDelayLoadInfo info)
{
    if (notify != dliNotePreLoadLibrary || !info || _stricmp(info->szDll, "bass.dll") != 0)
        return nullptr;
    const std::wstring path = platform::Utf8ToWide(platform::ProgramFolder() + "bass\\bass.dll");
    return reinterpret_cast<FARPROC>(LoadLibraryW(path.c_str()));
}

} // namespace

PfnDliHook __pfnDliNotifyHook2 = LoadEngineBesideTheProgram;
