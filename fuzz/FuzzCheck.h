#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "formats/Result.h"

// A broken promise is a crash the fuzzer keeps, with the condition and the line.
#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "check failed: %s (line %d)\n", #cond, __LINE__);                 \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

// What every reader promises of a refusal: bad data, in one line of reasonable length that
// starts with the file's name and then the place in it ("line ", "offset ").
#define FUZZ_CHECK_REFUSAL(result, name, place)                                                    \
    do {                                                                                           \
        const std::string& message_ = (result).message;                                            \
        FUZZ_CHECK((result).fault == formats::Fault::BadData);                                     \
        FUZZ_CHECK(message_.rfind(std::string(name) + ": " + (place), 0) == 0);                    \
        FUZZ_CHECK(message_.find_first_of("\r\n") == std::string::npos);                           \
        FUZZ_CHECK(message_.size() < 300);                                                         \
    } while (0)

// The fuzzer's bytes taken one steering byte at a time, then the rest as a body.
struct FuzzInput {
    const uint8_t* data;
    std::size_t size;

    uint8_t Byte() {
        if (size == 0) {
            return 0;
        }
        --size;
        return *data++;
    }
    std::string Rest() const { return std::string(reinterpret_cast<const char*>(data), size); }
};
