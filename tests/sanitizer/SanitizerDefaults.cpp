// SanitizerDefaults: the AddressSanitizer options every sanitized binary of
// the project (tests, program, fuzz targets) starts with, whatever the
// environment says; options in ASAN_OPTIONS still add to them.
//
// intercept_tls_get_addr=0: the runtime of this toolchain (GCC 12's libasan,
// clang 14's compiler-rt) guesses the extent of each dynamic TLS block from
// glibc 2.19's allocator: a block that starts 16 bytes past a 4 KiB boundary
// is taken to be preceded by a {size, start} header. Since glibc 2.25 the
// blocks come from malloc, so those 16 bytes are the sanitizer's own chunk
// header of the block (state, requested size, allocation stack id), and the
// guessed range is nonsense, e.g. 0xc80 + 0x1800001102 for the 24-byte block
// of the GL driver's LLVM. The leak checker's stop-the-world tracer then
// scans that range and dies with SIGSEGV after a test has passed. Where the
// block lands depends on every allocation before it (the locale, the display
// number, the temporary folder's name), so the crash came and went with the
// environment. Without the interception the checker doesn't track dynamic
// TLS blocks as roots; they are heap blocks themselves, reached through the
// thread's vector of them, and our own code keeps no heap pointer in a
// dynamic TLS block (thread_local in the program and its tests is static
// TLS). tests/sanitizer/LeakCheckTest.cpp places a block at that offset and
// plants a leak to show both halves.
#include <cstddef>

// A test that needs options of its own (allocator_may_return_null=1, say)
// defines this; they follow the project's.
extern "C" __attribute__((weak)) const char* VesperonTestAsanOptions();

// Called while the runtime starts, before its shadow memory exists: nothing
// here may be instrumented, and plain copies only.
extern "C" __attribute__((no_sanitize("address", "undefined"))) const char*
__asan_default_options() {
    static const char kProjectOptions[] = "intercept_tls_get_addr=0";
    static char options[512];
    size_t n = 0;
    for (const char* c = kProjectOptions; *c && n + 1 < sizeof(options); ++c)
        options[n++] = *c;
    if (VesperonTestAsanOptions && n + 1 < sizeof(options)) {
        options[n++] = ':';
        for (const char* c = VesperonTestAsanOptions(); *c && n + 1 < sizeof(options); ++c)
            options[n++] = *c;
    }
    options[n] = '\0';
    return options;
}
