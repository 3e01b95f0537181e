// BenchOptions: parsing of the benchmark's options over the shared ones.
#include "framebench/BenchOptions.h"

#include <cassert>

#include "core/Options.h"

bool ParseBenchOptions(int argc, char** argv, BenchOptions* options, std::string* error) {
    std::string kernelError;
    bool parsed = ParseKernelList(kDefaultKernelList, &options->view.kernels, &kernelError);
    assert(parsed && "the default kernel list is well formed");
    (void)parsed;
    options->view.radius = kBenchDefaultRadius;
    for (int i = 1; i < argc; ++i) {
        OptionResult taken = TakeViewOption(argc, argv, &i, &options->view, error);
        if (taken == OPTION_BAD)
            return false;
        if (taken == OPTION_TAKEN)
            continue;
        const std::string word = argv[i];
        if (word == "--help" || word == "-h") {
            options->help = true;
        } else if (word == "--accumulating") {
            options->accumulating = true;
        } else if (word == "--frames" || word == "--json") {
            const char* given = OptionValue(argc, argv, &i, error);
            if (!given)
                return false;
            const std::string value = given;
            if (word == "--frames" &&
                !ParseCount(value, 1, kMaxMeasuredFrames, &options->frames, error))
                return false;
            if (word == "--json") {
                if (value.empty()) {
                    *error = "--json needs a path";
                    return false;
                }
                options->jsonPath = value;
            }
        } else {
            *error = "unknown option \"" + word + "\" (see --help)";
            return false;
        }
    }
    return FinishViewOptions(&options->view, error);
}

bool CheckWritable(const std::string& path, std::string* error) {
    return CheckJsonOutput("--json", path, error);
}

const char* BenchUsage() {
    return "usage: framebench [--model PATH] [--eye x,y,z --dir x,y,z] [--kernels 4,8,...]\n"
           "                  [--radius R] [--estimator LIST] [--normals LIST] [--accumulating]\n"
           "                  [--frames N] [--json FILE]\n"
           "Renders the demo's frame pass by pass (glFinish around each) for SSAO off and\n"
           "every kernel size with blur on and off, on the fixed views of the default scene\n"
           "or the one given, and prints median milliseconds per pass and per frame, the\n"
           "fetch floor for each kernel size, start-up phases and peak resident memory.\n"
           "Run from the repository root on a display (scripts/with-display.sh gives one).\n"
           "  --model PATH     model to load (default models/sponza.obj)\n"
           "  --eye, --dir     one view: eye position and viewing direction, scene units\n"
           "  --kernels LIST   kernel sizes from 1 to 128 (default 4,8,16,32,64,128)\n"
           "  --radius R       occlusion radius, > 0 (default 0.9)\n"
           "  --estimator LIST occlusion estimators, measured side by side: hemisphere,\n"
           "                   horizon or both as hemisphere,horizon (default hemisphere)\n"
           "  --normals LIST   the normals the occlusion stands on, measured side by side:\n"
           "                   shading, geometric or both (default: each estimator's own)\n"
           "  --accumulating   also time, after each blurred configuration, its frame while\n"
           "                   a view at rest accumulates (occlusion, blur, accumulation)\n"
           "  --frames N       measured frames per configuration and view (default 5)\n"
           "  --json FILE      also write the figures as JSON; with - the JSON goes to\n"
           "                   standard output, and the table and the log to standard error\n";
}
