#pragma once

// What a fuzz target does when a promise of the code is broken: say which, then abort, so
// that libFuzzer keeps the input.

#include <QString>

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond, what)                                                                     \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "broken promise: %s (%s)\n", #cond, qPrintable(what));            \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)
