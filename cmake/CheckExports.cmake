# Checks the dynamic symbol table of the shared library: nothing of the standard library and
# nothing of the library's internal classes is exported, and the public API is.
#   cmake -DLIBRARY=<liborvanerfid.so> -DNM=<nm> -DCXXFILT=<c++filt> -P CheckExports.cmake

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
if(problems)
    message(FATAL_ERROR "The shared library's exports are wrong:\n${problems}")
endif()
message(STATUS "${count} exported symbols, all of the public API")
