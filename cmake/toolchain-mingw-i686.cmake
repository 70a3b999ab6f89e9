# Cross build for 32-bit Windows with mingw-w64 (i686, posix threads), linked
# fully static so that no libgcc, libstdc++ or winpthread DLL has to travel
# with the programs. Test executables run under Wine through wine-run.sh.
set(SETUP_MINGW_TRIPLET i686-w64-mingw32)
set(SETUP_WINE_ARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
