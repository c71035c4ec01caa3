# Checks that no library source includes a header of a higher layer.
#   cmake -DROOT=<dir holding the area folders, e.g. src/orvanerfid> -P CheckLayers.cmake
# Layers, lowest first; areas on one line share a rank and may include each other:
#   core < platform < commands, params < link < devices < uhfmodules < engines < uhf < reader
#   < capi
# Export.h (top level) may be included from anywhere; orvanerfid_c.h (top level) is the public
# header of capi and ranks with it; the other top-level headers (the umbrella headers) sit above
# every area. A folder that is not in the list is an error, so a new area is
# placed deliberately rather than allowed by default.

if(NOT ROOT OR NOT IS_DIRECTORY "${ROOT}")
    message(FATAL_ERROR "CheckLayers: ROOT must name the directory of the area folders")
endif()

set(layer_core 0)
set(layer_platform 1)
set(layer_commands 2)
set(layer_params 2)
set(layer_link 3)
set(layer_devices 4)
set(layer_uhfmodules 5)
set(layer_engines 6)
set(layer_uhf 7)
set(layer_reader 8)
set(layer_capi 9)
set(top_rank 100)

# Sets <out> to the rank of a path relative to ROOT ("core/Bytes.h", "Export.h"), or to ""
# when the path lies in an unknown area.
function(rank_of rel out)
    string(FIND "${rel}" "/" slash)
    if(slash EQUAL -1)
        if(rel STREQUAL "Export.h")
            set(${out} -1 PARENT_SCOPE)
        elseif(rel STREQUAL "orvanerfid_c.h")
            set(${out} ${layer_capi} PARENT_SCOPE)
        else()
            set(${out} ${top_rank} PARENT_SCOPE)
        endif()
        return()
    endif()
    string(SUBSTRING "${rel}" 0 ${slash} area)
    if(DEFINED layer_${area})
        set(${out} ${layer_${area}} PARENT_SCOPE)
    else()
        set(${out} "" PARENT_SCOPE)
    endif()
endfunction()

get_filename_component(ROOT "${ROOT}" ABSOLUTE)
get_filename_component(root_name "${ROOT}" NAME)
file(GLOB_RECURSE sources RELATIVE "${ROOT}" "${ROOT}/*.h" "${ROOT}/*.hpp" "${ROOT}/*.cpp"
     "${ROOT}/*.c")
set(problems "")
foreach(rel IN LISTS sources)
    rank_of("${rel}" own)
    if(own STREQUAL "")
        string(APPEND problems "  ${rel}: area not in the layer list (cmake/CheckLayers.cmake)\n")
        continue()
    endif()
    file(STRINGS "${ROOT}/${rel}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]${root_name}/")
    foreach(line IN LISTS lines)
        string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]${root_name}/([^\">]+)[\">].*$"
                             "\\1" target "${line}")
        rank_of("${target}" theirs)
        if(theirs STREQUAL "")
            string(APPEND problems "  ${rel}: includes ${target}, an area not in the layer list\n")
        elseif(theirs GREATER own)
            string(APPEND problems "  ${rel}: includes ${target} from a higher layer\n")
        endif()
    endforeach()
endforeach()

if(problems)
    message(FATAL_ERROR "Layering broken:\n${problems}")
endif()
list(LENGTH sources count)
message(STATUS "Layering holds in ${count} files")
