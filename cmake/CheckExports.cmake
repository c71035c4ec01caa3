# Checks the dynamic symbol table of the shared library: nothing of the standard library, of the
# library's internal classes or of the private members of the exported classes is exported, and
# the public API is.
#   cmake -DLIBRARY=<liborvanerfid.so> -DNM=<nm> -DCXXFILT=<c++filt> -DROOT=<src/orvanerfid>
#         -P CheckExports.cmake

cmake_policy(VERSION 3.25)

execute_process(COMMAND "${NM}" -D --defined-only "${LIBRARY}"
                OUTPUT_VARIABLE table RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "nm could not read ${LIBRARY}")
endif()
string(REPLACE "\n" ";" lines "${table}")

# Mangled names of entities of std:: and __gnu_cxx:: (functions, members, vtables, typeinfo).
set(std_pattern "^_Z(T[VIST])?(N[rVK]*)?(St|S[absiod]|9__gnu_cxx)")
# Internal classes, as their mangled names start: _ZN6orvane<length><name> (members),
# _ZTVN6orvane... (vtable) and so on.
set(internal_classes BaseProtocol ReceiveLoop ReplyQueue Vk210Protocol Vk640Protocol BaseTransport
    EATransport ByteQueue DispatchQueue DispatchWorkItem BaseUhfModule UhfModuleQm5520
    UhfModuleST25RU3993 BaseDevice Vk210Device Vk640Device OrvaneRfidCommand)
set(internal_pattern "")
foreach(name IN LISTS internal_classes)
    string(LENGTH "${name}" length)
    list(APPEND internal_pattern "${length}${name}")
endforeach()
# Command frame classes all start OrvRfidCmd_ (the length prefix varies).
list(APPEND internal_pattern "[0-9]+OrvRfidCmd_")
list(JOIN internal_pattern "|" internal_pattern)
set(internal_pattern "^_Z(T[VISTh][^N]*)?NK?6orvane(${internal_pattern})")

set(leaks "")
set(count 0)
set(public_seen "")
foreach(line IN LISTS lines)
    if(NOT line MATCHES "^[0-9a-fA-F]* [A-Za-z] ([^ ]+)$")
        continue()
    endif()
    set(symbol "${CMAKE_MATCH_1}")
    math(EXPR count "${count} + 1")
    if(symbol MATCHES "${std_pattern}" OR symbol MATCHES "${internal_pattern}")
        list(APPEND leaks "${symbol}")
    endif()
    # A few members of the public API that an application links against.
    foreach(name _ZTIN6orvane15ReaderException _ZN6orvane12DetectReader11startDetectEv
                 _ZN6orvane13hexTextToDataE)
        if(symbol MATCHES "^${name}")
            list(APPEND public_seen "${name}")
        endif()
    endforeach()
endforeach()

# The private member functions of the exported classes (class ORVANE_API) declared in the headers
# under `root`, as "Class::name". Left out: virtual ones (a subclass's vtable names them) and
# those marked ORVANE_API, which inline code of the public headers calls.
function(orvane_private_members root out)
    file(GLOB_RECURSE headers "${root}/*.h")
    set(found "")
    foreach(header IN LISTS headers)
        file(READ "${header}" text)
        # Macro lines join; list separators and brackets are masked so that the lines make a
        # CMake list; comments go.
        string(REPLACE "\\\n" " " text "${text}")
        string(REPLACE ";" "@S@" text "${text}")
        string(REPLACE "[" "@L@" text "${text}")
        string(REPLACE "]" "@R@" text "${text}")
        string(REGEX REPLACE "/\\*([^*]|\\*+[^*/])*\\*+/" "" text "${text}")
        string(REGEX REPLACE "//[^\n]*" "" text "${text}")
        string(REPLACE "\n" ";" lines "${text}")
        set(class "")
        foreach(line IN LISTS lines)
            if(class STREQUAL "")
                if(NOT line MATCHES "(class|struct)[ \t]+ORVANE_API[ \t]+([A-Za-z_0-9]+)")
                    continue()
                endif()
                set(class "${CMAKE_MATCH_2}")
                set(access public)
                if(CMAKE_MATCH_1 STREQUAL "class")
                    set(access private)
                endif()
                set(depth 0)
                set(statement "")
            endif()
            if(depth EQUAL 0 AND line MATCHES "@S@" AND NOT line MATCHES "{")
                set(class "")  # a declaration only
                continue()
            endif()
            if(depth EQUAL 1)
                if(line MATCHES "^[ \t]*(public|protected|private)[ \t]*:[ \t]*$")
                    set(access "${CMAKE_MATCH_1}")
                elseif(line MATCHES "^[ \t]*[A-Z][A-Z0-9_]*[ \t]*\\(")
                    set(access unknown)  # a macro may open another section
                elseif(access STREQUAL "private")
                    # One member declaration: up to its ";" or its body; template arguments go.
                    string(APPEND statement " ${line}")
                    if(statement MATCHES "@S@|{")
                        string(REGEX REPLACE "({|@S@).*$" "" statement "${statement}")
                        set(previous "")
                        while(NOT statement STREQUAL previous)
                            set(previous "${statement}")
                            string(REGEX REPLACE "<[^<>]*>" "" statement "${statement}")
                        endwhile()
                        if(NOT statement MATCHES "(^|[^A-Za-z_0-9])(virtual|override|final|friend|operator|ORVANE_API)([^A-Za-z_0-9]|$)"
                           AND statement MATCHES "^([^(=]*[^A-Za-z_0-9~])?(~?[A-Za-z_][A-Za-z_0-9]*)[ \t]*\\(")
                            list(APPEND found "${class}::${CMAKE_MATCH_2}")
                        endif()
                        set(statement "")
                    endif()
                endif()
            endif()
            string(REGEX MATCHALL "{" opened "${line}")
            string(REGEX MATCHALL "}" closed "${line}")
            list(LENGTH opened opened)
            list(LENGTH closed closed)
            math(EXPR depth "${depth} + ${opened} - ${closed}")
            if(depth LESS_EQUAL 0 AND closed GREATER 0)
                set(class "")
            endif()
        endforeach()
    endforeach()
    list(REMOVE_DUPLICATES found)
    set(${out} "${found}" PARENT_SCOPE)
endfunction()

# A private member is exported when a demangled symbol names it: "...::Class::name(" or, for a
# member template, "...::Class::name<".
execute_process(COMMAND "${NM}" -D --defined-only --demangle "${LIBRARY}"
                OUTPUT_VARIABLE readable_table RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "nm could not demangle ${LIBRARY}")
endif()
string(REPLACE "[abi:cxx11]" "" readable_table "${readable_table}")
orvane_private_members("${ROOT}" private_members)
list(LENGTH private_members private_count)
if(private_count EQUAL 0)
    message(FATAL_ERROR "no private members found under ${ROOT}")
endif()
set(private_leaks "")
foreach(member IN LISTS private_members)
    string(FIND "${readable_table}" "::${member}(" call)
    string(FIND "${readable_table}" "::${member}<" instance)
    if(NOT call EQUAL -1 OR NOT instance EQUAL -1)
        string(APPEND private_leaks "  private member exported: ${member}\n")
    endif()
endforeach()

set(problems "")
foreach(symbol IN LISTS leaks)
    execute_process(COMMAND "${CXXFILT}" "${symbol}" OUTPUT_VARIABLE readable
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    string(APPEND problems "  ${readable}\n")
endforeach()
foreach(name _ZTIN6orvane15ReaderException _ZN6orvane12DetectReader11startDetectEv
             _ZN6orvane13hexTextToDataE)
    if(NOT name IN_LIST public_seen)
        string(APPEND problems "  public symbol missing: ${name}\n")
    endif()
endforeach()
string(APPEND problems "${private_leaks}")
if(problems)
    message(FATAL_ERROR "The shared library's exports are wrong:\n${problems}")
endif()
message(STATUS "${count} exported symbols, all of the public API; ${private_count} private members hidden")
