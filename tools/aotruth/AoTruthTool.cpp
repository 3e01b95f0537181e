// AoTruthTool: option handling and the measuring run of the ground-truth tool.
#include "aotruth/AoTruthTool.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

#include "ssao/AoMetrics.h"
#include "aotruth/AoReference.h"
#include "aotruth/AoReport.h"
#include "ssao/AoScene.h"
#include "ssao/SceneCapture.h"
#include "common/AppStart.h"
#include "common/Interrupt.h"
#include "core/OutputFile.h"
#include "common/ToolOptions.h"
#include "core/Logger.h"
#include "core/Options.h"
#include "demo/Vesperon.h"
#include "scene/ModelLoader.h"
#include "ssao/Umbrelix.h"

namespace {

const char* const kTag = "AoTruth";
const char* const kResultsFile = "results.json";
const char* const kInterruptedMessage =
    "interrupted: asked to stop by a signal; results.json not written "
    "(the images and references already written are whole)";

const char* const kUsage =
    "usage: aotruth [--model PATH] [--eye x,y,z --dir x,y,z] [--radius R] [--kernels 4,8,...]\n"
    "               [--estimator hemisphere|horizon] [--normals shading|geometric]\n"
    "               [--accumulate N] [--out DIR] [--json FILE] [--rays N] [--draws N]\n"
    "               [--threads N]\n"
    "Ray-traces the occlusion of the demo's scene (the fixed views, or the one given) and\n"
    "compares the demo's own occlusion, raw and as the lighting uses it (\"blurred\": the\n"
    "blurred picture, or the mean of a view at rest), at every kernel size. --accumulate N\n"
    "draws N frames at rest with accumulation on before each read-back (1: one frame, off).\n"
    "Run from the repository root. Defaults: --model models/sponza.obj --radius 0.9\n"
    "--kernels 4,8,16,32,64,128 --estimator hemisphere --normals (the estimator's own)\n"
    "--accumulate 1 --out aotruth-out --rays 256 --draws 3\n"
    "--threads (all cores). Images and the reference cache go to DIR, the figures as JSON to\n"
    "DIR/results.json or the --json FILE; --json - writes the JSON to standard output, and\n"
    "the tables and the log then go to standard error.\n";

struct ToolOptions {
    ViewOptions view;
    std::string outDir = kDefaultOutDir;
    std::string jsonPath; // empty: results.json in outDir; "-": standard output
    int rays = kDefaultRays;
    int draws = kDefaultDraws;
    int threads = 0; // 0: every core
    int framesAtRest = 1;
    bool help = false;
};

// Fills options from argv; false with the reason in *error.
bool ParseOptions(int argc, char** argv, ToolOptions* options, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        OptionResult shared = TakeViewOption(argc, argv, &i, &options->view, error);
        if (shared == OPTION_BAD)
            return false;
        if (shared == OPTION_TAKEN)
            continue;
        std::string name = argv[i];
        if (name == "--help" || name == "-h") {
            options->help = true;
            return true;
        }
        bool known = name == "--out" || name == "--json" || name == "--rays" || name == "--draws" ||
                     name == "--threads" || name == "--accumulate";
        if (!known) {
            *error = "unknown option \"" + name + "\"";
            return false;
        }
        const char* given = OptionValue(argc, argv, &i, error);
        if (!given)
            return false;
        std::string value = given;
        bool ok = true;
        if (name == "--out") {
            options->outDir = value;
            ok = !value.empty();
            if (!ok)
                *error = "--out needs a directory";
        } else if (name == "--json") {
            options->jsonPath = value;
            ok = !value.empty();
            if (!ok)
                *error = "--json needs a path";
        } else if (name == "--rays") {
            ok = ParseCount(value, kMinRays, kMaxRays, &options->rays, error);
        } else if (name == "--draws") {
            ok = ParseCount(value, 1, kMaxDraws, &options->draws, error);
        } else if (name == "--accumulate") {
            ok = ParseCount(value, 1, kMaxFramesAtRest, &options->framesAtRest, error);
        } else {
            ok = ParseCount(value, 1, 256, &options->threads, error);
        }
        if (!ok)
            return false;
    }
    if (!FinishViewOptions(&options->view, error))
        return false;
    if (options->view.estimators.size() != 1) {
        *error = "aotruth measures one estimator per run: --estimator hemisphere or horizon";
        return false;
    }
    if (options->view.normals.size() > 1) {
        *error = "aotruth measures one normal per run: --normals shading or geometric";
        return false;
    }
    if (options->view.kernels.empty() &&
        !ParseKernelList(kDefaultKernelList, &options->view.kernels, error))
        return false;
    if (options->view.radius == 0.0f)
        options->view.radius = kDefaultRadius;
    if (options->threads == 0)
        options->threads = int(std::max(1u, std::thread::hardware_concurrency()));
    return true;
}

std::string JsonPath(const ToolOptions& options) {
    return options.jsonPath.empty() ? options.outDir + "/" + kResultsFile : options.jsonPath;
}

// A name usable in file names: letters, digits, '-' and '_' kept, the rest '_'.
std::string FileSafe(const std::string& name) {
    std::string out = name;
    for (char& c : out) {
        bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '-' || c == '_';
        if (!keep)
            c = '_';
    }
    return out.empty() ? "view" : out;
}

// The reference of the current camera, from the cache when it was traced before.
int Reference(const AoScene& scene, const CameraSetup& camera, const ToolOptions& options,
              const std::vector<std::string>& modelFiles, ReferenceImage* reference, bool* cached) {
    TraceSettings settings;
    settings.radius = options.view.radius;
    settings.rays = options.rays;
    settings.threads = options.threads;
    settings.progress = true;
    settings.stopRequested = Interrupted;
    std::string key = ReferenceKey(options.view.modelPath, modelFiles, camera, settings);
    std::string path = ReferenceCachePath(options.outDir, key);
    *cached = LoadReference(path, key, camera, reference) == 0;
    if (*cached)
        return 0;
    auto start = std::chrono::steady_clock::now();
    if (TraceReference(scene, camera, settings, reference) != 0) {
        if (Interrupted())
            LogMessage(LOG_ERROR, kTag, "%s", kInterruptedMessage);
        return -1;
    }
    std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    LogMessage(LOG_INFO, kTag, "Reference traced in %.1f s (%d rays per pixel, %d threads)",
               seconds.count(), settings.rays, settings.threads);
    return SaveReference(path, key, *reference);
}

// Renders the frames of one draw with a fresh kernel and noise (which
// restarts any accumulation) and compares the last frame's raw occlusion and
// what its lighting used.
DrawResult Draw(Vesperon& app, uint32_t kernel, int frames, const GreyImage& reference,
                const std::vector<uint8_t>& mask, const CameraSetup& camera, GreyImage* raw,
                GreyImage* blurred) {
    Umbrelix* renderer = app.GetRenderer();
    renderer->SetKernelSize(kernel);
    renderer->RedrawNoise();
    for (int f = 0; f < frames; ++f)
        app.Frame();
    *raw = ReadOcclusion(renderer->SSAOTexture(), camera.width, camera.height);
    *blurred = ReadOcclusion(renderer->ShownOcclusionTexture(), camera.width, camera.height);
    // The two comparisons are independent: one on a second core.
    DrawResult result;
    std::thread second([&] { result.blurred = Compare(reference, *blurred, mask); });
    result.raw = Compare(reference, *raw, mask);
    second.join();
    return result;
}

// Pixels where the reference and the demo see the same surface; the rest
// is counted in view, as a check that the two cameras and scenes agree.
std::vector<uint8_t> ComparisonMask(const ReferenceImage& traced,
                                    const std::vector<float>& demoDepth, ViewResult* view,
                                    uint64_t* comparedPixels) {
    std::vector<uint8_t> mask = ComparedPixels(traced, demoDepth);
    double referenceSum = 0.0;
    uint64_t compared = 0;
    for (size_t i = 0; i < mask.size(); ++i) {
        bool hit = traced.mask[i] != 0;
        bool drawn = demoDepth[i] > 0.0f;
        view->tracedPixels += hit;
        view->demoPixels += drawn;
        view->mismatchPixels += hit != drawn;
        view->otherSurfacePixels += hit && drawn && !mask[i];
        if (mask[i]) {
            referenceSum += traced.visibility[i];
            ++compared;
        }
    }
    view->meanReference = compared ? referenceSum / double(compared) : 0.0;
    *comparedPixels = compared;
    return mask;
}

// Every draw of one kernel size; the first one's images go to the output.
int MeasureKernel(Vesperon& app, const ToolOptions& options, const std::string& viewName,
                  uint32_t kernel, const GreyImage& reference, const std::vector<uint8_t>& mask,
                  const CameraSetup& camera, ViewResult* view) {
    KernelResult result;
    result.kernel = kernel;
    for (int d = 0; d < options.draws; ++d) {
        if (Interrupted()) {
            LogMessage(LOG_ERROR, kTag, "%s", kInterruptedMessage);
            return -1;
        }
        GreyImage raw, blurred;
        result.draws.push_back(
            Draw(app, kernel, options.framesAtRest, reference, mask, camera, &raw, &blurred));
        if (d != 0)
            continue;
        std::string stem =
            options.outDir + "/" + FileSafe(viewName) + "-k" + std::to_string(kernel);
        if (WriteSideBySide(stem + "-raw.png", reference, raw, mask) != 0 ||
            WriteSideBySide(stem + "-blurred.png", reference, blurred, mask) != 0)
            return -1;
        if (view->image.empty())
            view->image = stem + "-blurred.png";
    }
    view->kernels.push_back(result);
    return 0;
}

int MeasureView(Vesperon& app, const AoScene& scene, const ToolOptions& options,
                const std::vector<std::string>& modelFiles, const NamedView& named,
                ViewResult* view) {
    app.Aim(named.eye, named.dir);
    app.Frame(); // the aimed camera reaches the G-buffer
    CameraSetup camera = app.ViewCamera();
    view->name = named.name;
    view->eye = named.eye;
    view->dir = named.dir;
    view->width = camera.width;
    view->height = camera.height;

    ReferenceImage traced;
    if (Reference(scene, camera, options, modelFiles, &traced, &view->cached) != 0)
        return -1;
    std::vector<float> demoDepth =
        ReadViewDepth(app.GetRenderer()->GPosition(), camera.width, camera.height);
    uint64_t compared = 0;
    std::vector<uint8_t> mask = ComparisonMask(traced, demoDepth, view, &compared);
    // Figures over no pixel at all would read as a perfect score.
    if (compared == 0) {
        LogMessage(LOG_ERROR, kTag,
                   "view %s: nothing was compared: the tracer and the demo share no surface "
                   "pixel (traced %llu, drawn %llu); no figures written",
                   named.name.c_str(), (unsigned long long)view->tracedPixels,
                   (unsigned long long)view->demoPixels);
        return -1;
    }
    GreyImage reference{traced.width, traced.height, traced.visibility};
    for (uint32_t kernel : options.view.kernels) {
        if (MeasureKernel(app, options, named.name, kernel, reference, mask, camera, view) != 0)
            return -1;
    }
    return 0;
}

int BuildScene(Vesperon& app, AoScene* scene) {
    if (scene->Create() != 0 || AddSceneGraph(app.SceneRoot(), scene) != 0 || scene->Commit() != 0)
        return -1;
    LogMessage(LOG_INFO, kTag, "Ray-tracing scene: %u triangles", scene->TriangleCount());
    return 0;
}

// The tables go to tables: standard output, or standard error when it holds the JSON.
int Measure(Vesperon& app, const ToolOptions& options, const std::vector<std::string>& modelFiles,
            FILE* tables) {
    AoScene scene;
    if (BuildScene(app, &scene) != 0)
        return kExitFailed;
    if (scene.TriangleCount() == 0) {
        LogMessage(LOG_ERROR, kTag, "\"%s\" holds no triangles to trace",
                   options.view.modelPath.c_str());
        return kExitFailed;
    }
    // Both occlusion buffers are measured: SSAO and blur on, at the radius
    // and with the estimator and normals asked for, accumulating at rest
    // when more than one frame is asked for.
    SSAOSettings ssao = app.GetRenderer()->Settings().WithSSAO(true);
    ssao.radius = options.view.radius;
    ssao.estimator = options.view.estimators.front();
    ssao.normals = options.view.normals.empty() ? DefaultNormals(ssao.estimator)
                                                : options.view.normals.front();
    ssao.accumulate = options.framesAtRest > 1;
    app.GetRenderer()->ApplySettings(ssao);
    RunSettings settings{options.view.modelPath, options.view.radius, options.rays,
                         options.draws,          ssao.estimator,      ssao.normals,
                         options.framesAtRest};
    std::vector<ViewResult> views;
    for (const NamedView& named : options.view.views) {
        ViewResult view;
        if (MeasureView(app, scene, options, modelFiles, named, &view) != 0)
            return kExitFailed;
        PrintViewTable(tables, settings, view);
        views.push_back(view);
    }
    if (Interrupted()) {
        LogMessage(LOG_ERROR, kTag, "%s", kInterruptedMessage);
        return kExitFailed;
    }
    const std::string json = JsonPath(options), text = ResultsJson(settings, views);
    std::string error;
    if (!WriteFileOrStandardOutput(json, text.data(), text.size(), &error)) {
        LogMessage(LOG_ERROR, kTag, "%s", error.c_str());
        return kExitFailed;
    }
    fprintf(tables,
            "\nwrote %s and the side-by-side images (reference | ours | ours - reference) in %s\n",
            json == kStandardOutputName ? "the JSON to standard output" : json.c_str(),
            options.outDir.c_str());
    return kExitOk;
}

} // namespace

int PrepareOutputDir(const std::string& dir, std::string* error) {
    std::error_code code;
    std::filesystem::create_directories(dir, code);
    if (code || !std::filesystem::is_directory(dir, code)) {
        *error = "can't make the output directory \"" + dir + "\"" +
                 (code ? ": " + code.message() : std::string(": a file of that name exists"));
        return -1;
    }
    // Everything the run writes goes into dir by a rename there.
    return CheckFolderWritable(dir, error) ? 0 : -1;
}

int RunAoTruth(int argc, char** argv) {
    IgnoreBrokenPipe();
    ToolOptions options;
    std::string error;
    if (!ParseOptions(argc, argv, &options, &error)) {
        LogMessage(LOG_ERROR, kTag, "%s", error.c_str());
        fputs(kUsage, stderr);
        return kExitBadInput;
    }
    if (options.help) {
        fputs(kUsage, stdout);
        return kExitOk;
    }
    // The JSON is checked by name too (it may be a link, or something else).
    if (PrepareOutputDir(options.outDir, &error) != 0 ||
        !CheckJsonOutput(options.jsonPath.empty() ? "--out" : "--json", JsonPath(options),
                         &error)) {
        // Standard output may be the very file refused: the refusal goes to standard error then.
        FILE* previous =
            IsStandardOutput(JsonPath(options)) ? Logger::Instance()->SetStream(stderr) : nullptr;
        LogMessage(LOG_ERROR, kTag, "%s", error.c_str());
        if (previous)
            Logger::Instance()->SetStream(previous);
        return kExitBadInput;
    }
    FILE* tables = HumanOutput(options.jsonPath);
    CatchInterrupts();
    // The same start as the benchmark's: the model is judged by the demo's
    // own loader, which refuses what the importer can't safely read.
    // Every file the model reads keys the reference cache.
    Vesperon app;
    ModelFiles files;
    if (StartApp(app, options.view.modelPath, nullptr, &error, &files) != 0 || Interrupted()) {
        LogMessage(LOG_ERROR, kTag, "%s", Interrupted() ? kInterruptedMessage : error.c_str());
        app.Shutdown();
        return kExitFailed;
    }
    std::vector<std::string> modelFiles = files.read;
    modelFiles.insert(modelFiles.end(), files.textures.begin(), files.textures.end());
    app.BeginRun();
    int status = Measure(app, options, modelFiles, tables);
    app.EndRun();
    app.Shutdown();
    if (!FinishStandardOutput("aotruth") && status == kExitOk)
        status = kExitFailed;
    return status;
}
