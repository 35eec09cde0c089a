# Cross-building for Windows with Debian's mingw-w64 (posix threads). The
# toolchain files for each architecture set KLANG_WIN_TRIPLET and include this.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${KLANG_WIN_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KLANG_WIN_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KLANG_WIN_TRIPLET}-windres)
set(CMAKE_C_FLAGS_INIT "${KLANG_WIN_ARCH_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${KLANG_WIN_ARCH_FLAGS}")

# The engine's libraries, built from Debian's source packages by
# scripts/deps-windows, live in a cache outside the build folder.
if(DEFINED ENV{KLANG_WIN_CACHE})
  set(KLANG_WIN_PREFIX $ENV{KLANG_WIN_CACHE}/${KLANG_WIN_TRIPLET})
else()
  set(KLANG_WIN_PREFIX /var/cache/klangdeck-win/${KLANG_WIN_TRIPLET})
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${KLANG_WIN_TRIPLET} ${KLANG_WIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Qt for Windows (scripts/deps-windows-qt) in the same cache; its moc, rcc
# and uic are the Linux Qt's of the same version.
list(APPEND CMAKE_PREFIX_PATH ${KLANG_WIN_PREFIX}/qt6)
set(QT_HOST_PATH /usr)
set(ENV{PKG_CONFIG_LIBDIR} ${KLANG_WIN_PREFIX}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# The C and C++ runtimes and winpthread go into every binary, so programs,
# the engine and its plug-ins start without the compiler's DLLs beside them.
# Not so on 32-bit Windows: its exceptions unwind by DWARF tables, which each
# copy of libgcc knows only for the modules registered with it. A copy in
# every module would end the program (std::terminate) on any error thrown in
# a window's handler, as the way up to the application's catch crosses Qt's
# DLLs. There every module (Qt's too) shares libgcc_s_dw2-1.dll, which comes
# with winpthread's DLL; the C++ library stays in each module.
if(KLANG_WIN_TRIPLET MATCHES "^i686")
  set(KLANG_WIN_RUNTIME_FLAGS "-static-libstdc++ -shared-libgcc")
  set(KLANG_WIN_RUNTIME_DLLS libgcc_s_dw2-1.dll libwinpthread-1.dll)
else()
  set(KLANG_WIN_RUNTIME_FLAGS "-static")
  set(KLANG_WIN_RUNTIME_DLLS)
endif()
set(CMAKE_EXE_LINKER_FLAGS_INIT "${KLANG_WIN_RUNTIME_FLAGS}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${KLANG_WIN_RUNTIME_FLAGS}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${KLANG_WIN_RUNTIME_FLAGS}")

# Tests run through Wine. Debian's "wine" always starts its 32-bit loader
# when wine32 is installed; 64-bit programs go to the 64-bit loader directly,
# so they also run where the kernel cannot execute 32-bit programs.
if(KLANG_WIN_TRIPLET MATCHES "^x86_64" AND EXISTS /usr/lib/wine/wine64)
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
else()
  find_program(KLANG_WINE wine)
  if(KLANG_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${KLANG_WINE})
  endif()
endif()
