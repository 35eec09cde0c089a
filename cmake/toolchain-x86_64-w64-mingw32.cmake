# 64-bit Windows.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(KLANG_WIN_ARCH win64) # in the names of the installer and zip
set(KLANG_WIN_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
