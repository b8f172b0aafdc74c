# Runs every benchmark program in turn, whatever the ones before it did, then prints one table of
# all their targets and fails when any target was missed or any program did not end well.
#
#   cmake -DBENCHES=<program;program;...> -DSUMMARY=<file> -P RunBenchmarks.cmake
#
# Each program appends its targets to SUMMARY (see BenchTargets.h); a program that ends with a
# status other than 0 without having recorded a missed target gets a missed row of its own, so that
# a crash or an early failure is never taken for success.

if(NOT BENCHES OR NOT SUMMARY)
    message(FATAL_ERROR "RunBenchmarks.cmake needs BENCHES and SUMMARY")
endif()

file(WRITE "${SUMMARY}" "")
set(extra_rows "")
foreach(program IN LISTS BENCHES)
    get_filename_component(name "${program}" NAME)
    file(READ "${SUMMARY}" before)
    string(LENGTH "${before}" before_length)
    execute_process(
        COMMAND "${CMAKE_COMMAND}" -E env QT_QPA_PLATFORM=offscreen "TARNWICK_BENCH_SUMMARY=${SUMMARY}"
                "${program}"
        RESULT_VARIABLE status)
    file(READ "${SUMMARY}" after)
    string(SUBSTRING "${after}" ${before_length} -1 added)
    if(NOT status STREQUAL "0" AND NOT added MATCHES "\tMISSED\n")
        string(APPEND extra_rows "${name}\texit status\t${status}\t0\tMISSED\n")
    elseif(added STREQUAL "")
        string(APPEND extra_rows "${name}\ttargets recorded\tnone\tat least one\tMISSED\n")
    endif()
endforeach()

file(READ "${SUMMARY}" rows)
string(APPEND rows "${extra_rows}")
file(WRITE "${SUMMARY}" "${rows}")

# One list element per line; no figure holds a semicolon (BenchTargets writes none).
string(REGEX REPLACE "\n$" "" rows "${rows}")
string(REPLACE "\n" ";" lines "${rows}")

set(header "benchmark\tfigure\tvalue\ttarget\tresult")
set(widths 0 0 0 0 0)
foreach(line IN ITEMS "${header}" ${lines})
    string(REPLACE "\t" ";" cells "${line}")
    set(new_widths "")
    foreach(i RANGE 4)
        list(GET cells ${i} cell)
        list(GET widths ${i} width)
        string(LENGTH "${cell}" length)
        if(length GREATER width)
            set(width ${length})
        endif()
        list(APPEND new_widths ${width})
    endforeach()
    set(widths ${new_widths})
endforeach()

function(pad text width out)
    string(LENGTH "${text}" length)
    math(EXPR missing "${width} - ${length}")
    set(result "${text}")
    if(missing GREATER 0)
        string(REPEAT " " ${missing} spaces)
        string(APPEND result "${spaces}")
    endif()
    set(${out} "${result}" PARENT_SCOPE)
endfunction()

set(table "")
set(missed 0)
foreach(line IN ITEMS "${header}" ${lines})
    string(REPLACE "\t" ";" cells "${line}")
    set(row "")
    foreach(i RANGE 4)
        list(GET cells ${i} cell)
        list(GET widths ${i} width)
        pad("${cell}" ${width} padded)
        string(APPEND row "${padded}  ")
    endforeach()
    string(STRIP "${row}" row)
    string(APPEND table "${row}\n")
    list(GET cells 4 result)
    if(result STREQUAL "MISSED")
        math(EXPR missed "${missed} + 1")
    endif()
endforeach()

execute_process(COMMAND "${CMAKE_COMMAND}" -E echo "")
execute_process(COMMAND "${CMAKE_COMMAND}" -E echo "Summary of the benchmarks' targets:")
execute_process(COMMAND "${CMAKE_COMMAND}" -E echo_append "${table}")
if(missed GREATER 0)
    message(FATAL_ERROR "${missed} benchmark target(s) missed; see the table above.")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" -E echo "Every benchmark target met.")
