# Checks that every C++ source of the tree is formatted as .clang-format says:
# cmake -DCLANG_FORMAT=<program> -DSOURCE_DIR=<tree> -P format_check.cmake
# Fails naming each file and line clang-format would change.
file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
    ${SOURCE_DIR}/src/*.cpp ${SOURCE_DIR}/src/*.h
    ${SOURCE_DIR}/tools/*.cpp ${SOURCE_DIR}/tools/*.h
    ${SOURCE_DIR}/tests/*.cpp ${SOURCE_DIR}/tests/*.h
    ${SOURCE_DIR}/bench/*.cpp ${SOURCE_DIR}/bench/*.h)
list(SORT sources)
list(LENGTH sources count)
execute_process(COMMAND ${CLANG_FORMAT} --dry-run --Werror ${sources}
    WORKING_DIRECTORY ${SOURCE_DIR}
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "clang-format would change the files above; run clang-format -i on them")
endif()
message(STATUS "${count} files formatted as .clang-format says")
