// Program entry: the options read before any window opens (a refused command
// line ends with its message and status 2, as does a --model the importer
// can't read as a model; --help with the usage and 0), then one Vesperon
// driven through Init, Run and Shutdown. Exit status 0 after a normal run, 1
// when start-up failed.
#include <cstdio>
#include <string>

#include "core/StandardStreams.h"
#include "demo/DemoOptions.h"
#include "demo/Vesperon.h"
#include "scene/ModelLoader.h"

int main(int argc, char** argv) {
    if (!OpenClosedStandardStreams(kProgramName))
        return kStartFailedStatus;
    DemoOptions options;
    std::string error;
    // A model named on the command line must open and read as a model; the
    // demo's own model, missing or broken, still gets the error box of a
    // failed start.
    if (!ParseDemoOptions(argc, argv, &options, &error) ||
        (options.hasModel && !options.help &&
         (!CanOpenModel(options.modelPath, &error) || !CanReadModel(options.modelPath, &error)))) {
        std::fprintf(stderr, "%s: %s\n%s", kProgramName, error.c_str(), DemoUsage());
        return kUsageStatus;
    }
    if (options.help) {
        std::fputs(DemoUsage(), stdout);
        return 0;
    }
    Vesperon app;
    app.mOptions = options;
    int status = 0;
    if (app.Init(SUBSYSTEM_ALL) == 0)
        app.Run();
    else
        status = kStartFailedStatus;
    app.Shutdown();
    return status;
}
