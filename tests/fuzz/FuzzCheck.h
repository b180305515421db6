#pragma once

#include <cstdio>
#include <cstdlib>

// A broken invariant ends the run like a sanitizer finding, so that libFuzzer
// keeps the input that broke it.
#define FUZZ_CHECK(cond, what)                                                        \
    do {                                                                              \
        if (!(cond)) {                                                                \
            std::fprintf(stderr, "FUZZ_CHECK failed: %s (%s:%d: %s)\n", what, __FILE__, \
                         __LINE__, #cond);                                            \
            std::abort();                                                             \
        }                                                                             \
    } while (0)
