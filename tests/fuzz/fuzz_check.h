// An invariant of a fuzz target: a violation aborts, so that libFuzzer keeps the input.
#ifndef KELBRUN_TESTS_FUZZ_FUZZ_CHECK_H
#define KELBRUN_TESTS_FUZZ_FUZZ_CHECK_H

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

#endif  // KELBRUN_TESTS_FUZZ_FUZZ_CHECK_H
