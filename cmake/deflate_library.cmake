# libdeflate, the inflater and deflater of the package's zlib chunks, as the
# target setup::deflate.
#
# Linux: Debian's libdeflate-dev.
# Windows: compiled with this build's mingw-w64 toolchain from Debian's source
# package, which scripts/bootstrap.sh fetches into SETUP_DEPS_CACHE beside
# libpng and libjpeg-turbo. The source is unpacked (with Debian's patches)
# into <build>/deps once; a stamp naming the source package makes every later
# configure skip that. Only the zlib-format parts of the library are built,
# linked statically.

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

if(DEFINED ENV{SETUP_DEPS_CACHE})
    set(default_cache "$ENV{SETUP_DEPS_CACHE}")
else()
    set(default_cache /var/cache/setup-deps)
endif()
set(SETUP_DEPS_CACHE "${default_cache}" CACHE PATH "Folder of the Debian source packages fetched by scripts/bootstrap.sh")

file(GLOB dscs "${SETUP_DEPS_CACHE}/libdeflate_*.dsc")
if(NOT dscs)
    message(FATAL_ERROR "No source package libdeflate in ${SETUP_DEPS_CACHE}: run scripts/bootstrap.sh "
        "(or set SETUP_DEPS_CACHE to the folder holding it)")
endif()
list(SORT dscs COMPARE NATURAL ORDER DESCENDING)
list(GET dscs 0 dsc)
get_filename_component(dsc_name ${dsc} NAME)

set(deflate_src ${CMAKE_BINARY_DIR}/deps/src/libdeflate)
set(deflate_stamp ${CMAKE_BINARY_DIR}/deps/libdeflate.stamp)
set(unpacked "")
if(EXISTS ${deflate_stamp})
    file(READ ${deflate_stamp} unpacked)
endif()
if(NOT unpacked STREQUAL dsc_name)
    message(STATUS "Unpacking ${dsc_name} (once per build folder)")
    file(REMOVE_RECURSE ${deflate_src} ${deflate_stamp})
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/deps/src)
    execute_process(COMMAND dpkg-source --no-check -x --no-copy ${dsc} ${deflate_src}
        RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE errors)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "Cannot unpack ${dsc}: ${errors}")
    endif()
    file(WRITE ${deflate_stamp} "${dsc_name}")
endif()

add_library(setup_deflate STATIC
    ${deflate_src}/lib/adler32.c
    ${deflate_src}/lib/deflate_compress.c
    ${deflate_src}/lib/deflate_decompress.c
    ${deflate_src}/lib/utils.c
    ${deflate_src}/lib/x86/cpu_features.c
    ${deflate_src}/lib/zlib_compress.c
    ${deflate_src}/lib/zlib_decompress.c)
target_include_directories(setup_deflate SYSTEM PUBLIC ${deflate_src})
# The library's own flags: optimised whatever the build type, no warnings of
# ours, no unwind tables (it is C and calls nothing that throws).
target_compile_options(setup_deflate PRIVATE -O2 -w -fno-asynchronous-unwind-tables -fno-unwind-tables)
target_compile_definitions(setup_deflate PRIVATE BUILDING_LIBDEFLATE)
add_library(setup::deflate ALIAS setup_deflate)
