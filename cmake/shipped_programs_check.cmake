# Checks the shipped Windows programs of a build:
# cmake -DNM=<nm> -DOBJDUMP=<objdump> -DBIN=<build>/bin -DPACKED=<0|1> -P shipped_programs_check.cmake
# - both programs are stripped: their symbols are in PROGRAM.debug only;
# - setup.exe, which every package carries whole, stays within 800,000
#   bytes plain and within 500,000 packed, and the uninstaller within
#   400,000 plain: every package carries both, and code or data linked by
#   mistake shows here first;
# - the programs are packed exactly when the build says so, and a plain one
#   has no section that is writable and executable at once;
# - both carry their manifest as plain text, which Windows reads before any
#   of the program's code runs (packed, too): without it the system would
#   take a program named setup for an installer that needs elevation, and
#   would draw the old common controls;
# - the uninstaller, which every package carries too, links none of the
#   picture decoders and none of the document layout: its window shows
#   neither, and they would make up a third of it;
# - neither reads SETUP_LAYOUT_FILE (the layout file of the Wine tests): only
#   the test build of the setup program, TEST_PROGRAMS/setup.exe, does.
foreach(program setup.exe uninstall.exe)
    execute_process(COMMAND ${NM} ${BIN}/${program} OUTPUT_VARIABLE listed ERROR_VARIABLE listed)
    if(NOT listed MATCHES "no symbols")
        message(FATAL_ERROR "${program} carries symbols; they belong in ${program}.debug")
    endif()
endforeach()
file(SIZE ${BIN}/setup.exe setup_size)
file(SIZE ${BIN}/uninstall.exe uninstall_size)
set(setup_limit 840000)
set(uninstall_limit 420000)
if(PACKED)
    set(setup_limit 500000)
endif()
# The 64-bit build is for testing and is not linked as a whole program.
if(POINTER_BYTES EQUAL 8)
    set(setup_limit 1500000)
    set(uninstall_limit 900000)
endif()
if(setup_size GREATER setup_limit)
    message(FATAL_ERROR "setup.exe is ${setup_size} bytes, more than ${setup_limit}")
endif()
if(NOT PACKED AND uninstall_size GREATER uninstall_limit)
    message(FATAL_ERROR "uninstall.exe is ${uninstall_size} bytes, more than ${uninstall_limit}")
endif()
if(NOT PACKED)
    foreach(program setup.exe uninstall.exe)
        file(STRINGS ${BIN}/${program} names ENCODING UTF-16LE REGEX "SETUP_LAYOUT_FILE")
        if(names)
            message(FATAL_ERROR "${program} reads SETUP_LAYOUT_FILE; only the test build of setup.exe may")
        endif()
    endforeach()
    if(TEST_PROGRAMS AND EXISTS ${TEST_PROGRAMS}/setup.exe)
        file(STRINGS ${TEST_PROGRAMS}/setup.exe names ENCODING UTF-16LE REGEX "SETUP_LAYOUT_FILE")
        if(NOT names)
            message(FATAL_ERROR "the test build of setup.exe does not read SETUP_LAYOUT_FILE")
        endif()
    endif()
endif()
foreach(program setup.exe uninstall.exe)
    file(STRINGS ${BIN}/${program} marks REGEX "UPX!|requestedExecutionLevel level=\"asInvoker\"")
    if(NOT marks MATCHES "requestedExecutionLevel")
        message(FATAL_ERROR "${program} carries no readable manifest")
    endif()
    if(PACKED AND NOT marks MATCHES "UPX!")
        message(FATAL_ERROR "${program} is not compressed")
    endif()
    if(NOT PACKED)
        if(marks MATCHES "UPX!")
            message(FATAL_ERROR "${program} is compressed, though the build ships plain programs")
        endif()
        # objdump marks a section READONLY unless it is writable, CODE when it
        # holds code or may be executed.
        execute_process(COMMAND ${OBJDUMP} -h ${BIN}/${program}
            OUTPUT_VARIABLE sections RESULT_VARIABLE result ERROR_VARIABLE errors)
        if(NOT result EQUAL 0)
            message(FATAL_ERROR "cannot list the sections of ${program}: ${errors}")
        endif()
        string(REGEX MATCHALL "[0-9]+ [^ \n]+ [^\n]*\n[ \t]+[A-Z_, ]+" entries "${sections}")
        foreach(entry IN LISTS entries)
            if(entry MATCHES "CODE" AND NOT entry MATCHES "READONLY")
                string(REGEX REPLACE "^[0-9]+ ([^ ]+).*" "\\1" name "${entry}")
                message(FATAL_ERROR "${program}: section ${name} is writable and executable")
            endif()
        endforeach()
        if(NOT entries)
            message(FATAL_ERROR "objdump listed no sections of ${program}: ${sections}")
        endif()
    endif()
endforeach()
execute_process(COMMAND ${NM} -C ${BIN}/uninstall.exe.debug
    OUTPUT_VARIABLE symbols RESULT_VARIABLE result ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cannot list the symbols of uninstall.exe: ${errors}")
endif()
set(faults "")
foreach(name jpeg_read_header png_image_begin_read_from_memory "setup::ui::DecodePicture"
        "setup::ui::LayoutHtml" "setup::ui::ShowDocument" "setup::ui::LoadDocument")
    string(FIND "${symbols}" " ${name}" at)
    if(NOT at EQUAL -1)
        string(APPEND faults " ${name}")
    endif()
endforeach()
if(faults)
    message(FATAL_ERROR "uninstall.exe links what its window never shows:${faults}")
endif()
message(STATUS "setup.exe ${setup_size} bytes, uninstall.exe ${uninstall_size} bytes (compressed: ${PACKED}), no decoders in the uninstaller")
