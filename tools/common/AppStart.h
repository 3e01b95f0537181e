// AppStart: brings the demo application up the way its own Init does, for
// any model path, optionally timing each phase; and the process's peak
// resident memory.
#pragma once

#include <string>

class Vesperon;
struct ModelFiles;

// Start-up phases in milliseconds. modelImportMs and textureLoadMs are
// measured on their own (a separate import, and a separate load of every
// material's diffuse texture) before the demo's loader does all of it again
// together with copying the meshes and creating their buffers (modelLoadMs).
struct StartupTimes {
    double engineMs = 0.0;      // allocator, event bus, window, input
    double rendererMs = 0.0;    // context, GL loader, render targets, renderer programs, noise
    double programsMs = 0.0;    // the demo's three programs
    double modelImportMs = 0.0; // parse and post-processing of the model file
    double textureLoadMs = 0.0; // decode and upload of the diffuse textures
    double modelLoadMs = 0.0;   // the demo's whole loader: import, textures, meshes
    double totalMs = 0.0;
    int textureCount = 0; // materials naming a diffuse texture
    // GPU set-up: the context and every GL object made before the model.
    double GpuSetupMs() const { return rendererMs + programsMs; }
};

// Init of the demo with modelPath instead of its fixed one: engine
// subsystems, renderer, the demo's programs, the model scaled into place and
// the eye at its start. Every tool starts through here, and the model goes
// through the demo's own loader (Vesperon::LoadScene), so a guard on model
// files protects the demo and the tools alike. 0 on success; -1 with *error
// set on failure (the demo's own log says more). Never shows a message box.
// With times, each phase is timed (which costs a second import, checked the
// same way, and texture load). With files, the loader lists every file it read.
int StartApp(Vesperon& app, const std::string& modelPath, StartupTimes* times, std::string* error,
             ModelFiles* files = nullptr);

// VmHWM of /proc/self/status in KiB, or -1 when it can't be read.
long PeakResidentKiB();
