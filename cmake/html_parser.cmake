# The HTML5 parser library (gumbo) of the document viewer, as the target
# setup::gumbo, and SETUP_HAVE_GUMBO (a variable of the including folder and
# a global property, for the tests) telling whether this build has it.
#
# Linux: Debian's libgumbo-dev.
# Windows: gumbo cross-built with this build's mingw-w64 toolchain from
# Debian's source package gumbo-parser, which scripts/bootstrap.sh fetches
# into SETUP_DEPS_CACHE when the archive offers it. Its C sources are unpacked
# (with Debian's patches) into <build>/deps once and compiled here into a
# static library; the library has no build system CMake could drive, and needs
# none: it is plain C without configuration. Without the source package the
# Windows build parses HTML with the viewer's own bounded tokenizer.

if(TARGET setup::gumbo)
    return()
endif()
set_property(GLOBAL PROPERTY SETUP_HAVE_GUMBO OFF)

if(NOT WIN32)
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(GUMBO REQUIRED IMPORTED_TARGET gumbo)
    add_library(setup::gumbo INTERFACE IMPORTED)
    target_link_libraries(setup::gumbo INTERFACE PkgConfig::GUMBO)
    set(SETUP_HAVE_GUMBO ON)
    set_property(GLOBAL PROPERTY SETUP_HAVE_GUMBO ON)
    return()
endif()

if(DEFINED ENV{SETUP_DEPS_CACHE})
    set(default_cache "$ENV{SETUP_DEPS_CACHE}")
else()
    set(default_cache /var/cache/setup-deps)
endif()
set(SETUP_DEPS_CACHE "${default_cache}" CACHE PATH "Folder of the Debian source packages fetched by scripts/bootstrap.sh")

set(SETUP_HAVE_GUMBO OFF)
file(GLOB gumbo_dscs "${SETUP_DEPS_CACHE}/gumbo-parser_*.dsc")
file(GLOB gumbo_tarballs "${SETUP_DEPS_CACHE}/gumbo-parser_*.orig.tar.*")
if(NOT gumbo_dscs OR NOT gumbo_tarballs)
    message(STATUS "No gumbo-parser source package in ${SETUP_DEPS_CACHE}: HTML documents are read with the "
        "viewer's own tokenizer")
    return()
endif()
list(SORT gumbo_dscs COMPARE NATURAL ORDER DESCENDING)
list(GET gumbo_dscs 0 gumbo_dsc)
get_filename_component(gumbo_dsc_name ${gumbo_dsc} NAME)
set(gumbo_src ${CMAKE_BINARY_DIR}/deps/src/gumbo-parser)
set(gumbo_stamp ${CMAKE_BINARY_DIR}/deps/gumbo-parser.stamp)
set(gumbo_built "")
if(EXISTS ${gumbo_stamp})
    file(READ ${gumbo_stamp} gumbo_built)
endif()
if(NOT gumbo_built STREQUAL gumbo_dsc_name)
    file(REMOVE_RECURSE ${gumbo_src} ${gumbo_stamp})
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/deps/src)
    execute_process(COMMAND dpkg-source --no-check -x --no-copy ${gumbo_dsc} ${gumbo_src}
        RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE errors)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "Cannot unpack ${gumbo_dsc}: ${errors}")
    endif()
    file(WRITE ${gumbo_stamp} ${gumbo_dsc_name})
endif()
file(GLOB gumbo_sources ${gumbo_src}/src/*.c)
if(NOT gumbo_sources)
    message(FATAL_ERROR "The gumbo-parser source package in ${SETUP_DEPS_CACHE} has no src/*.c")
endif()
add_library(setup_gumbo STATIC ${gumbo_sources})
set_target_properties(setup_gumbo PROPERTIES C_STANDARD 99)
target_include_directories(setup_gumbo SYSTEM PUBLIC ${gumbo_src}/src)
target_compile_options(setup_gumbo PRIVATE -w)
add_library(setup::gumbo ALIAS setup_gumbo)
set(SETUP_HAVE_GUMBO ON)
set_property(GLOBAL PROPERTY SETUP_HAVE_GUMBO ON)
