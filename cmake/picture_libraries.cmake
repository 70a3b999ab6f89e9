# The picture decoders' libraries as the targets setup::png and setup::jpeg.
#
# Linux: Debian's libpng-dev and libjpeg62-turbo-dev.
# Windows: libpng and libjpeg-turbo cross-built with this build's mingw-w64
# toolchain from Debian's source packages, which scripts/bootstrap.sh fetches
# into SETUP_DEPS_CACHE. They are unpacked (with Debian's patches), built and
# installed into <build>/deps once, at configure time; a stamp naming the
# source package, the toolchain and this recipe makes every later configure skip them.
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

if(DEFINED ENV{SETUP_DEPS_CACHE})
    set(default_cache "$ENV{SETUP_DEPS_CACHE}")
else()
    set(default_cache /var/cache/setup-deps)
endif()
set(SETUP_DEPS_CACHE "${default_cache}" CACHE PATH "Folder of the Debian source packages fetched by scripts/bootstrap.sh")

set(deps_root ${CMAKE_BINARY_DIR}/deps)
set(deps_prefix ${deps_root}/install)
set(mingw_root /usr/${SETUP_MINGW_TRIPLET})
# The toolchain files leave the processor unset; libjpeg-turbo needs it.
string(REGEX REPLACE "-.*" "" processor ${SETUP_MINGW_TRIPLET})

# Unpacks, configures, builds and installs one source package into deps_prefix
# unless the stamp says this very package was built with this toolchain.
function(setup_cross_build source_package)
    file(GLOB dscs "${SETUP_DEPS_CACHE}/${source_package}_*.dsc")
    if(NOT dscs)
        message(FATAL_ERROR "No source package ${source_package} in ${SETUP_DEPS_CACHE}: run scripts/bootstrap.sh "
            "(or set SETUP_DEPS_CACHE to the folder holding it)")
    endif()
    list(SORT dscs COMPARE NATURAL ORDER DESCENDING)
    list(GET dscs 0 dsc)
    get_filename_component(dsc_name ${dsc} NAME)
    # A change of this recipe builds the libraries again.
    file(MD5 ${CMAKE_CURRENT_FUNCTION_LIST_FILE} recipe)
    set(stamp_text "${dsc_name} ${SETUP_MINGW_TRIPLET} ${recipe} ${ARGN}")
    set(stamp ${deps_root}/${source_package}.stamp)
    if(EXISTS ${stamp})
        file(READ ${stamp} built)
        if(built STREQUAL stamp_text)
            return()
        endif()
    endif()

    message(STATUS "Cross-building ${dsc_name} for ${SETUP_MINGW_TRIPLET} (once per build folder)")
    set(src ${deps_root}/src/${source_package})
    set(bld ${deps_root}/build/${source_package})
    file(REMOVE_RECURSE ${src} ${bld} ${stamp})
    file(MAKE_DIRECTORY ${deps_root}/src)
    execute_process(COMMAND dpkg-source --no-check -x --no-copy ${dsc} ${src}
        RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE errors)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "Cannot unpack ${dsc}: ${errors}")
    endif()
    set(launcher)
    if(CCACHE_PROGRAM)
        set(launcher -DCMAKE_C_COMPILER_LAUNCHER=${CCACHE_PROGRAM})
    endif()
    execute_process(
        COMMAND ${CMAKE_COMMAND} -S ${src} -B ${bld} -G Ninja
            -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
            -DCMAKE_BUILD_TYPE=Release
            -DCMAKE_INSTALL_PREFIX=${deps_prefix}
            -DCMAKE_INSTALL_LIBDIR=${deps_prefix}/lib
            -DCMAKE_SYSTEM_PROCESSOR=${processor}
            ${launcher}
            ${ARGN}
        WORKING_DIRECTORY ${deps_root}
        RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "Cannot configure ${source_package} for ${SETUP_MINGW_TRIPLET}:\n${output}")
    endif()
    execute_process(COMMAND ${CMAKE_COMMAND} --build ${bld} --target install -j2
        RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "Cannot build ${source_package} for ${SETUP_MINGW_TRIPLET}:\n${output}")
    endif()
    file(WRITE ${stamp} "${stamp_text}")
endfunction()

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
setup_cross_build(libpng1.6
    -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_EXECUTABLES=OFF -DPNG_TESTS=OFF -DPNG_HARDWARE_OPTIMIZATIONS=OFF
    -DDFA_XTRA=${CMAKE_CURRENT_LIST_DIR}/png_read_only.dfa
    -DZLIB_INCLUDE_DIR=${mingw_root}/include -DZLIB_LIBRARY=${mingw_root}/lib/libz.a ${small_c_flags})
setup_cross_build(libjpeg-turbo
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_SIMD=OFF -DWITH_JAVA=OFF ${small_c_flags})

find_library(SETUP_PNG_LIBRARY NAMES png16 png16_static png PATHS ${deps_prefix}/lib NO_DEFAULT_PATH
    NO_CMAKE_FIND_ROOT_PATH)
find_library(SETUP_JPEG_LIBRARY NAMES jpeg PATHS ${deps_prefix}/lib NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT SETUP_PNG_LIBRARY OR NOT SETUP_JPEG_LIBRARY)
    message(FATAL_ERROR "The cross-built libpng or libjpeg is missing from ${deps_prefix}/lib")
endif()

# zlib comes from the package code's ZLIB::ZLIB (static, libz-mingw-w64-dev).
if(NOT TARGET ZLIB::ZLIB)
    set(ZLIB_USE_STATIC_LIBS ON)
    find_package(ZLIB REQUIRED)
endif()
add_library(setup::png STATIC IMPORTED)
set_target_properties(setup::png PROPERTIES
    IMPORTED_LOCATION ${SETUP_PNG_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${deps_prefix}/include
    INTERFACE_LINK_LIBRARIES ZLIB::ZLIB)
add_library(setup::jpeg STATIC IMPORTED)
set_target_properties(setup::jpeg PROPERTIES
    IMPORTED_LOCATION ${SETUP_JPEG_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${deps_prefix}/include)
