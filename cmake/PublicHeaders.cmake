# The public headers: the umbrella header orvanerfid.h and every library header it includes,
# directly or through another public header. They are what `cmake --install` installs.
#   orvane_public_headers(<root of the library headers, e.g. src/orvanerfid> <out list>)
# gives paths relative to the root ("orvanerfid.h", "core/Bytes.h").

function(orvane_public_headers root out)
    get_filename_component(root "${root}" ABSOLUTE)
    get_filename_component(root_name "${root}" NAME)
    set(found "")
    set(pending "orvanerfid.h")
    while(pending)
        list(POP_FRONT pending header)
        if(header IN_LIST found)
            continue()
        endif()
        list(APPEND found "${header}")
        if(NOT EXISTS "${root}/${header}")
            message(FATAL_ERROR "PublicHeaders: ${header} is included but does not exist")
        endif()
        file(STRINGS "${root}/${header}" lines
             REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]${root_name}/")
        foreach(line IN LISTS lines)
            string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]${root_name}/([^\">]+)[\">].*$"
                                 "\\1" target "${line}")
            list(APPEND pending "${target}")
        endforeach()
    endwhile()
    list(SORT found)
    set(${out} "${found}" PARENT_SCOPE)
endfunction()
