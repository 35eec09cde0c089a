# 32-bit Windows (the program's own platform).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(KLANG_WIN_ARCH win32) # in the names of the installer and zip
set(KLANG_WIN_TRIPLET i686-w64-mingw32)
# SSE2 arithmetic instead of the x87 unit, whose 80-bit intermediates make
# results differ from the 64-bit and Linux builds (a position computed twice
# may not compare equal). Every processor that runs a supported Windows has
# SSE2.
set(KLANG_WIN_ARCH_FLAGS "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
