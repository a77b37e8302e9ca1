#pragma once
// Shared by the fuzz targets: a failed property aborts with a line saying which,
// so libFuzzer records the input as a crash.
#include <cstdio>
#include <cstdlib>

#define FUZZ_REQUIRE(cond)                                                                      \
    do {                                                                                        \
        if (!(cond)) {                                                                          \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #cond);    \
            std::abort();                                                                       \
        }                                                                                       \
    } while (false)
