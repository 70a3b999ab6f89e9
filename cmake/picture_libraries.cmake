# The picture decoders' libraries as the targets setup::png and setup::jpeg.
#
# Linux: Debian's libpng-dev and libjpeg62-turbo-dev.
# Windows: libpng and libjpeg-turbo cross-built with this build's mingw-w64
# toolchain from Debian's source packages, which scripts/bootstrap.sh fetches
# into SETUP_DEPS_CACHE. Each is built by its own CMake build and installed
# into the build folder once, at configure time (cmake/debian_source.cmake).
# Both link statically; libpng uses the zlib of libz-mingw-w64-dev, the same
# one the package code links, so the programs carry one zlib.

if(TARGET setup::png)
    return()
endif()

if(NOT WIN32)
    find_package(PNG REQUIRED)
    find_package(JPEG REQUIRED)
    add_library(setup::png INTERFACE IMPORTED)
    target_link_libraries(setup::png INTERFACE PNG::PNG)
    add_library(setup::jpeg INTERFACE IMPORTED)
    target_link_libraries(setup::jpeg INTERFACE JPEG::JPEG)
    return()
endif()

include(${CMAKE_CURRENT_LIST_DIR}/debian_source.cmake)
set(mingw_root /usr/${SETUP_MINGW_TRIPLET})

# The programs only decode the few pictures of a wizard: the libraries are
# built for size, each function in a section of its own so that the link
# leaves out what is never called. Their messages go through the system's
# printf, not the larger C99 one of mingw-w64. The 32-bit build leaves out
# unwind tables (no C++ exception crosses them: their errors come back
# through setjmp); the 64-bit build keeps them, because its longjmp unwinds
# through every frame with them and crashes in a frame that has none.
if(SETUP_MINGW_TRIPLET MATCHES "^x86_64")
    set(unwind_flags "")
else()
    set(unwind_flags "-fno-asynchronous-unwind-tables -fno-unwind-tables ")
endif()
set(small_c_flags
    "-DCMAKE_C_FLAGS=-ffunction-sections -fdata-sections ${unwind_flags}-D__USE_MINGW_ANSI_STDIO=0"
    "-DCMAKE_C_FLAGS_RELEASE=-Os -DNDEBUG")
# libpng without its writer: the simplified reader's clean-up would otherwise
# bring the whole writer, and zlib's deflater with it, into the programs.
setup_debian_source(libpng1.6 png_src CMAKE_ARGS
    -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_EXECUTABLES=OFF -DPNG_TESTS=OFF -DPNG_HARDWARE_OPTIMIZATIONS=OFF
    -DDFA_XTRA=${CMAKE_CURRENT_LIST_DIR}/png_read_only.dfa
    -DZLIB_INCLUDE_DIR=${mingw_root}/include -DZLIB_LIBRARY=${mingw_root}/lib/libz.a ${small_c_flags})
setup_debian_source(libjpeg-turbo jpeg_src CMAKE_ARGS
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_SIMD=OFF -DWITH_JAVA=OFF ${small_c_flags})

find_library(SETUP_PNG_LIBRARY NAMES png16 png16_static png PATHS ${SETUP_DEPS_PREFIX}/lib NO_DEFAULT_PATH
    NO_CMAKE_FIND_ROOT_PATH)
find_library(SETUP_JPEG_LIBRARY NAMES jpeg PATHS ${SETUP_DEPS_PREFIX}/lib NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT SETUP_PNG_LIBRARY OR NOT SETUP_JPEG_LIBRARY)
    message(FATAL_ERROR "The cross-built libpng or libjpeg is missing from ${SETUP_DEPS_PREFIX}/lib")
endif()

# zlib comes from the package code's ZLIB::ZLIB (static, libz-mingw-w64-dev).
if(NOT TARGET ZLIB::ZLIB)
    set(ZLIB_USE_STATIC_LIBS ON)
    find_package(ZLIB REQUIRED)
endif()
add_library(setup::png STATIC IMPORTED)
set_target_properties(setup::png PROPERTIES
    IMPORTED_LOCATION ${SETUP_PNG_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${SETUP_DEPS_PREFIX}/include
    INTERFACE_LINK_LIBRARIES ZLIB::ZLIB)
add_library(setup::jpeg STATIC IMPORTED)
set_target_properties(setup::jpeg PROPERTIES
    IMPORTED_LOCATION ${SETUP_JPEG_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${SETUP_DEPS_PREFIX}/include)
