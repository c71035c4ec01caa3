#pragma once

// Symbols marked ORVANE_API are the public surface of the shared library; everything else
// is compiled with hidden visibility and reachable only through the static core the tests link.
//
// ORVANE_INTERNAL marks a member of an exported class that only the library itself calls (the
// setters and constructors that fill a record before it is handed to the application): it is
// declared with the class but not exported, so an application cannot link against it.
#if defined(__GNUC__) || defined(__clang__)
#define ORVANE_API __attribute__((visibility("default")))
#define ORVANE_INTERNAL __attribute__((visibility("hidden")))
#else
#define ORVANE_API
#define ORVANE_INTERNAL
#endif
