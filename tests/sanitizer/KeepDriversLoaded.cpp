// KeepDriversLoaded: pins the system's OpenGL libraries in memory for the
// whole test process. SDL unloads them when the last window goes, and the
// leak checker, run at exit, then sees the driver's process-lifetime
// allocations with no module to attribute (and suppress) them to.
#include <dlfcn.h>

namespace {

const char* const kDriverLibraries[] = {
    "libGL.so.1",
    "libGLX.so.0",
    "libGLX_mesa.so.0",
    "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so",
};

struct KeepDriversLoaded {
    KeepDriversLoaded() {
        // RTLD_NODELETE keeps each library mapped after its last dlclose;
        // a library that isn't installed is simply skipped.
        for (const char* library : kDriverLibraries)
            dlopen(library, RTLD_NOW | RTLD_GLOBAL | RTLD_NODELETE);
    }
} gKeepDriversLoaded;

} // namespace
