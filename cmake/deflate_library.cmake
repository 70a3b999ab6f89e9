# libdeflate, the inflater and deflater of the package's zlib chunks, as the
# target setup::deflate.
#
# Linux: Debian's libdeflate-dev.
# Windows: compiled with this build's mingw-w64 toolchain from Debian's source
# package, which scripts/bootstrap.sh fetches into SETUP_DEPS_CACHE beside
# libpng and libjpeg-turbo, and unpacked into the build folder once
# (cmake/debian_source.cmake). Only the zlib-format parts of the library are
# built, here, linked statically.

if(TARGET setup::deflate)
    return()
endif()

if(NOT WIN32)
    find_path(SETUP_DEFLATE_INCLUDE_DIR libdeflate.h)
    find_library(SETUP_DEFLATE_LIBRARY NAMES deflate)
    if(NOT SETUP_DEFLATE_INCLUDE_DIR OR NOT SETUP_DEFLATE_LIBRARY)
        message(FATAL_ERROR "libdeflate is missing: run scripts/bootstrap.sh (Debian's libdeflate-dev)")
    endif()
    add_library(setup::deflate UNKNOWN IMPORTED)
    set_target_properties(setup::deflate PROPERTIES
        IMPORTED_LOCATION ${SETUP_DEFLATE_LIBRARY}
        INTERFACE_INCLUDE_DIRECTORIES ${SETUP_DEFLATE_INCLUDE_DIR})
    return()
endif()

include(${CMAKE_CURRENT_LIST_DIR}/debian_source.cmake)
setup_debian_source(libdeflate deflate_src)

# The programs compress only their uninstall record, at level 9: the
# deflater is built without its near-optimal parser (levels 10-12, which then
# work as level 9), which the programs would carry unused.
file(READ ${deflate_src}/lib/deflate_compress.c deflate_compress_text)
string(REPLACE "#define SUPPORT_NEAR_OPTIMAL_PARSING\t1" "#define SUPPORT_NEAR_OPTIMAL_PARSING\t0"
    deflate_compress_small "${deflate_compress_text}")
if(deflate_compress_small STREQUAL deflate_compress_text)
    message(FATAL_ERROR "libdeflate's deflate_compress.c no longer has the switch of its near-optimal parser")
endif()
set(deflate_compress_file ${CMAKE_CURRENT_BINARY_DIR}/deflate_compress_small.c)
file(CONFIGURE OUTPUT ${deflate_compress_file} CONTENT "${deflate_compress_small}" @ONLY)

add_library(setup_deflate STATIC
    ${deflate_src}/lib/adler32.c
    ${deflate_compress_file}
    ${deflate_src}/lib/deflate_decompress.c
    ${deflate_src}/lib/utils.c
    ${deflate_src}/lib/x86/cpu_features.c
    ${deflate_src}/lib/zlib_compress.c
    ${deflate_src}/lib/zlib_decompress.c)
target_include_directories(setup_deflate SYSTEM PUBLIC ${deflate_src} PRIVATE ${deflate_src}/lib)
# The library's own flags: optimised whatever the build type, no warnings of
# ours, no unwind tables (it is C and calls nothing that throws).
target_compile_options(setup_deflate PRIVATE -O2 -w -fno-asynchronous-unwind-tables -fno-unwind-tables)
target_compile_definitions(setup_deflate PRIVATE BUILDING_LIBDEFLATE)
add_library(setup::deflate ALIAS setup_deflate)
