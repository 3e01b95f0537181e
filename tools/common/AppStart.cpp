// AppStart: the demo's start-up steps for an arbitrary model, in the order
// Vesperon::Init runs them, each optionally under a stopwatch.
#include "common/AppStart.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "core/Logger.h"
#include "demo/DemoOptions.h"
#include "demo/Vesperon.h"
#include "gpu/Texture.h"
#include "scene/ModelLoader.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Decodes and uploads every texture once, then releases them again.
void LoadTexturesOnce(const std::vector<std::string>& paths) {
    std::unique_ptr<Texture[]> textures(new Texture[paths.size()]);
    for (size_t i = 0; i < paths.size(); ++i)
        LoadTexture(paths[i].c_str(), &textures[i]);
}

int StartRenderer(Vesperon& app, std::string* error) {
    if (app.StartRenderer() != 0) {
        *error = "the renderer could not start (see the log)";
        return -1;
    }
    return 0;
}

int LoadPrograms(Vesperon& app, std::string* error) {
    if (app.LoadPrograms() != 0) {
        *error = "a shader program could not be built (see the log)";
        return -1;
    }
    return 0;
}

// Times the import and the textures on their own; also refuses a model the
// importer can't read before the demo's loader sees it.
int TimeImportAndTextures(const std::string& path, StartupTimes* times, std::string* error) {
    ModelFiles files;
    Clock::time_point start = Clock::now();
    if (ImportModelFiles(path.c_str(), &files) != 0) {
        *error = "cannot load model \"" + path + "\" (see the log)";
        return -1;
    }
    times->modelImportMs = MsSince(start);
    start = Clock::now();
    LoadTexturesOnce(files.textures);
    times->textureLoadMs = MsSince(start);
    times->textureCount = int(files.textures.size());
    return 0;
}

// The demo's own loading and placing of the scene, on this path.
int LoadScene(Vesperon& app, const std::string& path, ModelFiles* files, std::string* error) {
    if (app.LoadScene(path.c_str(), files) != 0) {
        *error = "cannot load model \"" + path + "\" (see the log)";
        return -1;
    }
    return 0;
}

} // namespace

int StartApp(Vesperon& app, const std::string& modelPath, StartupTimes* times, std::string* error,
             ModelFiles* files) {
    if (!CanOpenModel(modelPath, error) || !CanReadModel(modelPath, error))
        return -1;
    DemoOptions options = app.Options();
    options.modelPath = modelPath; // so that a view's reopening command names it
    options.hasModel = true;
    app.UseOptions(options);
    StartupTimes local;
    StartupTimes* t = times ? times : &local;
    const Clock::time_point begin = Clock::now();
    Clock::time_point start = begin;
    if (app.Engine::Init(SUBSYSTEM_ALL & ~SUBSYSTEM_RENDERER) != 0) {
        *error = "the engine could not start (see the log)";
        return -1;
    }
    t->engineMs = MsSince(start);
    start = Clock::now();
    if (StartRenderer(app, error) != 0)
        return -1;
    t->rendererMs = MsSince(start);
    start = Clock::now();
    if (LoadPrograms(app, error) != 0)
        return -1;
    t->programsMs = MsSince(start);
    if (times && TimeImportAndTextures(modelPath, times, error) != 0)
        return -1;
    start = Clock::now();
    if (LoadScene(app, modelPath, files, error) != 0)
        return -1;
    t->modelLoadMs = MsSince(start);
    t->totalMs = MsSince(begin);
    return 0;
}

long PeakResidentKiB() {
    FILE* status = std::fopen("/proc/self/status", "r");
    if (!status)
        return -1;
    long kib = -1;
    char line[256];
    while (std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, "VmHWM:", 6) == 0 && std::sscanf(line + 6, "%ld", &kib) != 1)
            kib = -1;
    }
    std::fclose(status);
    return kib;
}
