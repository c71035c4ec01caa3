# Build-time settings that change how fast the tree compiles and links, not what it builds.
#
# ORVANE_PCH: precompiled headers of the standard library (and of GoogleTest for the tests).
# Most of the time of a small source goes to parsing these headers again for every file.
# Only system headers go in, never the project's own, so a source still has to include every
# header of the project it uses. Off, every file is compiled as written (a check that each
# source includes the standard headers it needs). The sanitizer, fuzz and release presets leave it
# off: they make that check, and with optimisation GCC 12 gives a false -Warray-bounds in inlined
# std::string code of some sources when the standard headers come first.
option(ORVANE_PCH "Precompile the standard library and GoogleTest headers" ON)

# ORVANE_FAST_LINKER: link with lld when the compiler can use it; it links the large test
# programs several times faster than the default linker.
option(ORVANE_FAST_LINKER "Link with lld when it is available" ON)
if(ORVANE_FAST_LINKER)
    include(CheckLinkerFlag)
    check_linker_flag(CXX "-fuse-ld=lld" ORVANE_HAS_LLD)
    if(ORVANE_HAS_LLD)
        add_link_options(-fuse-ld=lld)
    endif()
endif()

# The standard headers most library sources include.
set(ORVANE_PCH_STD_HEADERS
    <algorithm>
    <array>
    <atomic>
    <chrono>
    <condition_variable>
    <cstddef>
    <cstdint>
    <deque>
    <functional>
    <map>
    <memory>
    <mutex>
    <optional>
    <string>
    <string_view>
    <type_traits>
    <utility>
    <vector>)

# orvane_precompile(<target> [header...]): the target's sources (C++ only) start from the
# precompiled standard headers and the headers given.
function(orvane_precompile target)
    if(ORVANE_PCH)
        target_precompile_headers(${target} PRIVATE ${ORVANE_PCH_STD_HEADERS} ${ARGN})
    endif()
endfunction()
