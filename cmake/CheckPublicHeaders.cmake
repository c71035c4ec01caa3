# Checks that the public headers (the umbrella header and what it includes) hold none of the
# library's machinery, so that installing them installs only the public API.
#   cmake -DROOT=<src/orvanerfid> -P CheckPublicHeaders.cmake

cmake_policy(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/PublicHeaders.cmake)
orvane_public_headers("${ROOT}" public)

# Headers of internal classes: protocols and their loops, queues and threads, transports, the
# device and driver layers, the command frames. The device's operation list (DeviceOperations.h)
# is public: the reader's public operations are generated from it.
set(internal_patterns
    "^link/(BaseProtocol|ReceiveLoop|ReplyQueue|Vk210Protocol|Vk640Protocol|BaseTransport|EATransport|EmulatorTransport|CheckResponse)\\.h$"
    "^platform/Dispatch\\.h$"
    "^core/(ByteQueue|Queue)\\.h$"
    "^devices/(BaseDevice|Vk210Device|Vk640Device)\\.h$"
    "^uhfmodules/(BaseUhfModule|UhfModuleQm5520|UhfModuleST25RU3993|ModuleChecks)\\.h$"
    "^commands/(OrvaneRfidCommand|OrvRfidCmdId|CommandFields)\\.h$")
set(problems "")
foreach(header IN LISTS public)
    foreach(pattern IN LISTS internal_patterns)
        if(header MATCHES "${pattern}")
            string(APPEND problems "  ${header}\n")
        endif()
    endforeach()
endforeach()
if(problems)
    message(FATAL_ERROR "The umbrella header reaches internal headers:\n${problems}")
endif()
list(LENGTH public count)
message(STATUS "${count} public headers, none internal")
