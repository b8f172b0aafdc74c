# Shared helpers so that each folder lists only what it depends on.

# tarnwick_add_library(<target> [DEPS <libs...>])
# Builds every .cpp/.h of the calling folder into a static library.
function(tarnwick_add_library target)
    cmake_parse_arguments(ARG "" "" "DEPS;EXCLUDE" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS
        ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h ${CMAKE_CURRENT_SOURCE_DIR}/*.ui)
    foreach(ex IN LISTS ARG_EXCLUDE)
        list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${ex})
    endforeach()
    if(NOT sources)
        # A folder whose classes are not written yet still gives a linkable target.
        file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/${target}_empty.cpp "")
        set(sources ${CMAKE_CURRENT_BINARY_DIR}/${target}_empty.cpp)
    endif()
    add_library(${target} STATIC ${sources})
    # Headers of other folders are reached by their folder path from the project root ("model/LocalDb.h");
    # a folder's own headers need no path inside it.
    target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} PUBLIC ${ARG_DEPS})
    target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()

# tarnwick_add_tests(<folder> [DEPS <libs...>])
# Every tst_*.cpp of the calling folder becomes one QtTest executable and one ctest test.
function(tarnwick_add_tests folder)
    cmake_parse_arguments(ARG "" "" "DEPS;EXTRA" ${ARGN})
    file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tst_*.cpp)
    foreach(src IN LISTS tests)
        get_filename_component(name ${src} NAME_WE)
        set(exe ${folder}_${name})
        add_executable(${exe} ${src} ${ARG_EXTRA})
        target_link_libraries(${exe} PRIVATE Qt6::Test tarnwick_testsupport ${ARG_DEPS})
        target_compile_options(${exe} PRIVATE -Wall -Wextra)
        add_test(NAME ${exe} COMMAND ${exe})
        # A function that hangs is ended by QtTest itself well before ctest's limit, so the log names
        # it (and shows its stack where gdb is installed) instead of ending mid-run without a word.
        set_tests_properties(${exe} PROPERTIES
            ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_LOGGING_RULES=*.debug=false;QTEST_FUNCTION_TIMEOUT=120000"
            TIMEOUT 300)
    endforeach()
endfunction()
