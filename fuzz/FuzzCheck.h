#pragma once

#include <cstdio>
#include <cstdlib>

// A broken promise is a crash the fuzzer keeps, with the condition and the line.
#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "check failed: %s (line %d)\n", #cond, __LINE__);                 \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)
