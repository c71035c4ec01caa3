# Checks the installed simulator library: it exports only orvane::sim, takes the accessory
# manager from the SDK's shared library, and defines none of the SDK's stateful platform objects
# itself (a second accessory manager, clock, logger or queue would split the process in two).
#   cmake -DLIBRARY=<liborvanerfid_sim.so> -DNM=<nm> -P CheckSimLibrary.cmake

cmake_policy(VERSION 3.25)

function(symbols out)
    execute_process(COMMAND "${NM}" ${ARGN} "${LIBRARY}" OUTPUT_VARIABLE table
                    RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "nm could not read ${LIBRARY}")
    endif()
    string(REPLACE "\n" ";" lines "${table}")
    set(${out} "${lines}" PARENT_SCOPE)
endfunction()

set(problems "")

symbols(exported -D --defined-only)
foreach(line IN LISTS exported)
    if(NOT line MATCHES "^[0-9a-fA-F]* [A-Za-z] ([^ ]+)$")
        continue()
    endif()
    set(symbol "${CMAKE_MATCH_1}")
    if(NOT symbol MATCHES "^_Z(T[VIS])?NK?6orvane3sim")
        string(APPEND problems "  exported: ${symbol}\n")
    endif()
endforeach()

symbols(undefined -D --undefined-only)
if(NOT undefined MATCHES "_ZN6orvane16AccessoryManager6sharedEv")
    string(APPEND problems "  the accessory manager is not taken from the SDK\n")
endif()

# Every symbol, local ones included: no member of a stateful platform class, and no data of the
# logger or the clock.
symbols(defined -C --defined-only)
foreach(line IN LISTS defined)
    if(line MATCHES "orvane::(AccessoryManager|DispatchQueue|DispatchWorkItem|EATransport)::"
       OR line MATCHES "^[0-9a-fA-F]* [bBdDuV] orvane::(orvLogger|Clock)::")
        string(APPEND problems "  defined here: ${line}\n")
    endif()
endforeach()

if(problems)
    message(FATAL_ERROR "${LIBRARY}:\n${problems}")
endif()
message(STATUS "${LIBRARY}: exports orvane::sim only and keeps no platform state of its own")
