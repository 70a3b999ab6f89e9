# The Debian source packages that the Windows build compiles its libraries
# from, out of the cache scripts/bootstrap.sh fills (SETUP_DEPS_CACHE). One
# function serves every such library: it unpacks the newest source package
# there (with Debian's patches) into <build>/deps/src, and for a library with
# a CMake build of its own also configures, builds and installs it into
# <build>/deps/install with this build's toolchain. A stamp per package names
# what was done (source package, toolchain, this recipe, options), so that
# every later configure with the same stamp does nothing.

if(DEFINED ENV{SETUP_DEPS_CACHE})
    set(default_cache "$ENV{SETUP_DEPS_CACHE}")
else()
    set(default_cache /var/cache/setup-deps)
endif()
set(SETUP_DEPS_CACHE "${default_cache}" CACHE PATH "Folder of the Debian source packages fetched by scripts/bootstrap.sh")
# Where the libraries with a build of their own are installed, for the
# including file to find them.
set(SETUP_DEPS_PREFIX ${CMAKE_BINARY_DIR}/deps/install)

# setup_debian_source(<package> <variable> [OPTIONAL] [CMAKE_ARGS <argument>...])
#
# Sets <variable> to the folder of the unpacked source package <package>.
# With CMAKE_ARGS the package is also configured by its own CMake build with
# these arguments, built, and installed into SETUP_DEPS_PREFIX
# (<build>/deps/install). A source
# package counts only with every file its description lists (a fetch that
# broke off leaves the description alone). Without one the configure stops
# with a message that names scripts/bootstrap.sh; with OPTIONAL, <variable>
# is set empty instead. A failing unpack or build stops the configure with
# the tool's output.
function(setup_debian_source package variable)
    cmake_parse_arguments(PARSE_ARGV 2 arg "OPTIONAL" "" "CMAKE_ARGS")
    file(GLOB dscs "${SETUP_DEPS_CACHE}/${package}_*.dsc")
    list(SORT dscs COMPARE NATURAL ORDER DESCENDING)
    set(dsc "")
    foreach(candidate IN LISTS dscs)
        file(STRINGS ${candidate} listed REGEX "^ [0-9a-f]+ [0-9]+ [^ ]+$")
        set(complete ON)
        foreach(line IN LISTS listed)
            string(REGEX REPLACE "^ [0-9a-f]+ [0-9]+ " "" name "${line}")
            if(NOT EXISTS ${SETUP_DEPS_CACHE}/${name})
                set(complete OFF)
            endif()
        endforeach()
        if(complete)
            set(dsc ${candidate})
            break()
        endif()
    endforeach()
    if(NOT dsc)
        if(arg_OPTIONAL)
            set(${variable} "" PARENT_SCOPE)
            return()
        endif()
        message(FATAL_ERROR "No whole source package ${package} in ${SETUP_DEPS_CACHE}: run scripts/bootstrap.sh "
            "(or set SETUP_DEPS_CACHE to the folder holding it)")
    endif()
    get_filename_component(dsc_name ${dsc} NAME)

    set(root ${CMAKE_BINARY_DIR}/deps)
    set(src ${root}/src/${package})
    set(bld ${root}/build/${package})
    set(stamp ${root}/${package}.stamp)
    # A change of this recipe unpacks and builds the packages again.
    file(MD5 ${CMAKE_CURRENT_FUNCTION_LIST_FILE} recipe)
    set(stamp_text "${dsc_name} ${recipe}")
    if(DEFINED arg_CMAKE_ARGS)
        string(APPEND stamp_text " ${SETUP_MINGW_TRIPLET} ${arg_CMAKE_ARGS}")
    endif()
    set(${variable} ${src} PARENT_SCOPE)
    if(EXISTS ${stamp} AND EXISTS ${src})
        file(READ ${stamp} done)
        if(done STREQUAL stamp_text)
            return()
        endif()
    endif()

    file(REMOVE_RECURSE ${src} ${bld} ${stamp})
    file(MAKE_DIRECTORY ${root}/src)
    if(NOT DEFINED arg_CMAKE_ARGS)
        message(STATUS "Unpacking ${dsc_name} (once per build folder)")
    else()
        message(STATUS "Cross-building ${dsc_name} for ${SETUP_MINGW_TRIPLET} (once per build folder)")
    endif()
    execute_process(COMMAND dpkg-source --no-check -x --no-copy ${dsc} ${src}
        RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE errors)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "Cannot unpack ${dsc}: ${errors}")
    endif()

    if(DEFINED arg_CMAKE_ARGS)
        set(launcher)
        if(CCACHE_PROGRAM)
            set(launcher -DCMAKE_C_COMPILER_LAUNCHER=${CCACHE_PROGRAM})
        endif()
        # The toolchain files leave the processor unset; libjpeg-turbo needs it.
        string(REGEX REPLACE "-.*" "" processor ${SETUP_MINGW_TRIPLET})
        execute_process(
            COMMAND ${CMAKE_COMMAND} -S ${src} -B ${bld} -G Ninja
                -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
                -DCMAKE_BUILD_TYPE=Release
                -DCMAKE_INSTALL_PREFIX=${root}/install
                -DCMAKE_INSTALL_LIBDIR=${root}/install/lib
                -DCMAKE_SYSTEM_PROCESSOR=${processor}
                ${launcher}
                ${arg_CMAKE_ARGS}
            WORKING_DIRECTORY ${root}
            RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
        if(NOT result EQUAL 0)
            message(FATAL_ERROR "Cannot configure ${package} for ${SETUP_MINGW_TRIPLET}:\n${output}")
        endif()
        execute_process(COMMAND ${CMAKE_COMMAND} --build ${bld} --target install -j2
            RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
        if(NOT result EQUAL 0)
            message(FATAL_ERROR "Cannot build ${package} for ${SETUP_MINGW_TRIPLET}:\n${output}")
        endif()
    endif()
    file(WRITE ${stamp} "${stamp_text}")
endfunction()
