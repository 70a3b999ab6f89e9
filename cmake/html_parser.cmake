# The HTML5 parser library (gumbo) of the document viewer, as the target
# setup::gumbo, and SETUP_HAVE_GUMBO (a variable of the including folder and
# a global property, for the tests) telling whether this build has it.
#
# Linux: Debian's libgumbo-dev.
# Windows: gumbo cross-built with this build's mingw-w64 toolchain from
# Debian's source package gumbo-parser, which scripts/bootstrap.sh fetches
# into SETUP_DEPS_CACHE when the archive offers it. Its C sources are unpacked
# into the build folder once (cmake/debian_source.cmake) and compiled here into
# a static library; the library has no build system CMake could drive, and needs
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

include(${CMAKE_CURRENT_LIST_DIR}/debian_source.cmake)
set(SETUP_HAVE_GUMBO OFF)
setup_debian_source(gumbo-parser gumbo_src OPTIONAL)
if(NOT gumbo_src)
    message(STATUS "No gumbo-parser source package in ${SETUP_DEPS_CACHE}: HTML documents are read with the "
        "viewer's own tokenizer")
    return()
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
