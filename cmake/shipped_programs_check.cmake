# Checks the shipped Windows programs of a build:
# cmake -DNM=<nm> -DBIN=<build>/bin -P shipped_programs_check.cmake
# - setup.exe, which every package carries whole, stays within 1,000,000 bytes;
# - the uninstaller, which every package carries too, links none of the
#   picture decoders and none of the document layout: its window shows
#   neither, and they would make up a third of it.
file(SIZE ${BIN}/setup.exe setup_size)
if(setup_size GREATER 1000000)
    message(FATAL_ERROR "setup.exe is ${setup_size} bytes, more than 1,000,000")
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
message(STATUS "setup.exe ${setup_size} bytes, uninstall.exe ${uninstall_size} bytes, no decoders in the uninstaller")
