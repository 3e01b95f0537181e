// FuzzSupport: what every fuzz target shares: a quiet log, a failure that
// stops the fuzzer with a reason, and the hidden GL context for targets that
// upload.
#pragma once

#include <cstddef>
#include <cstdint>

// Sends the log to /dev/null: every line is still formatted (so format
// arguments are exercised) but a million inputs don't flood the terminal.
void QuietLog();

// Prints why an invariant broke and aborts, which libFuzzer reports as a crash
// and saves the input that caused it.
[[noreturn]] void FuzzFail(const char* what);

#define FUZZ_CHECK(condition, why)                                                                 \
    do {                                                                                           \
        if (!(condition))                                                                          \
            FuzzFail(why " (" #condition ")");                                                     \
    } while (0)

// The test GL context (hidden window on the X display); aborts without one.
void RequireFuzzGL();
