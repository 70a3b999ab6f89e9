# The same sources built for 64-bit Windows. Nothing 64-bit is shipped: this
# build exists so that the Win32 implementation's tests run under 64-bit Wine
# on hosts whose kernel cannot execute 32-bit code (and so cannot run 32-bit
# Wine).
set(SETUP_MINGW_TRIPLET x86_64-w64-mingw32)
set(SETUP_WINE_ARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
