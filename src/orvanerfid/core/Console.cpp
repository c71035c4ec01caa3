#include "orvanerfid/core/Console.h"

#include <cstdio>
#include <mutex>

namespace orvane {

void consoleWriteLine(std::string_view line) {
    // Serialises whole lines from the library's many threads.
    static std::mutex consoleMutex;
    std::lock_guard lock(consoleMutex);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
}

}  // namespace orvane
