#include "orvanerfid/core/Console.h"

#include <cstdio>
#include <mutex>

namespace orvane {

void consoleWriteLine(std::string_view line) {
    // Serialises whole lines from the library's many threads. Never destroyed, so a thread
    // still writing while the process exits finds it intact.
    static auto* consoleMutex = new std::mutex;
    std::lock_guard lock(*consoleMutex);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
}

}  // namespace orvane
