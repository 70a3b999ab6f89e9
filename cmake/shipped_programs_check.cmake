# Checks the shipped Windows programs of a build:
# cmake -DNM=<nm> -DBIN=<build>/bin -DPACKED=<0|1> -P shipped_programs_check.cmake
# - setup.exe, which every package carries whole, stays within 1,000,000 bytes,
#   and within 500,000 when the programs are compressed;
# - a compressed program still carries its manifest as plain text, which
#   Windows reads before any of the program's code runs: without it the
#   system would take a program named setup for an installer that needs
#   elevation, and would draw the old common controls;
# - the uninstaller, which every package carries too, links none of the
#   picture decoders and none of the document layout: its window shows
#   neither, and they would make up a third of it.
file(SIZE ${BIN}/setup.exe setup_size)
set(setup_limit 1000000)
if(PACKED)
    set(setup_limit 500000)
endif()
if(setup_size GREATER setup_limit)
    message(FATAL_ERROR "setup.exe is ${setup_size} bytes, more than ${setup_limit}")
endif()
if(PACKED)
    foreach(program setup.exe uninstall.exe)
        file(STRINGS ${BIN}/${program} marks REGEX "UPX!|requestedExecutionLevel level=\"asInvoker\"")
        if(NOT marks MATCHES "UPX!" OR NOT marks MATCHES "requestedExecutionLevel")
            message(FATAL_ERROR "${program} is not compressed, or its manifest is: ${marks}")
        endif()
    endforeach()
endif()
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
file(SIZE ${BIN}/uninstall.exe uninstall_size)
message(STATUS "setup.exe ${setup_size} bytes, uninstall.exe ${uninstall_size} bytes (compressed: ${PACKED}), no decoders in the uninstaller")
