// FuzzSupport: quiet log, fatal invariant failures, the GL context.
#include "FuzzSupport.h"

#include <cstdio>
#include <cstdlib>

#include "core/Logger.h"
#include "support/GLTestContext.h"

void QuietLog() {
    static FILE* sink = std::fopen("/dev/null", "w");
    if (sink)
        Logger::Instance()->SetStream(sink);
}

void FuzzFail(const char* what) {
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

void RequireFuzzGL() {
    if (!RequireGL())
        FuzzFail("no OpenGL context: run under scripts/with-display.sh");
}
