#pragma once

// Symbols marked ORVANE_API are the public surface of the shared library; everything else
// is compiled with hidden visibility and reachable only through the static core the tests link.
#if defined(__GNUC__) || defined(__clang__)
#define ORVANE_API __attribute__((visibility("default")))
#else
#define ORVANE_API
#endif
