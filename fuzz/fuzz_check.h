#pragma once
// The invariant check of the fuzz targets: a broken invariant aborts with its text, which both
// libFuzzer and the corpus replay report as a failure (independent of NDEBUG).
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond)                                                              \
    do {                                                                              \
        if (!(cond)) {                                                                \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                             \
        }                                                                             \
    } while (0)
