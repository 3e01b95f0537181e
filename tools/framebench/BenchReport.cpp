// BenchReport: medians of the frame samples and the two reports. The JSON
// holds every setting the run used and every pass of every configuration, so
// two runs can be compared without the command lines that made them.
#include "framebench/BenchReport.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "core/Json.h"
#include "core/OutputFile.h"

const char* const kPassNames[PASS_COUNT] = {"geometry",   "occlusion", "blur",
                                            "accumulate", "lighting",  "overlay_present"};

const char* const kFloorFootprint =
    "spread over the occlusion radius projected at each pixel's depth";

namespace {

// The occlusion pass against the floor with as many fetches; null without one.
double FloorRatio(const ViewResult& view, const ConfigSamples& c) {
    double floor = c.config.ssao ? FloorMedian(view, c.config.kernel) : -1.0;
    return floor > 0.0 ? Median(c.pass[PASS_OCCLUSION]) / floor : NAN;
}

// The configuration measured with the view's first estimator at c's kernel
// and blur; null when there is none.
// The first estimator's configuration at the same kernel, blur and
// accumulation, on the same normals when it was measured on them (a normals
// list), else on its own (each estimator on its default normals).
const ConfigSamples* FirstEstimatorPeer(const ViewResult& view, const ConfigSamples& c) {
    const ConfigSamples* first = nullptr;
    const ConfigSamples* anyNormals = nullptr;
    for (const ConfigSamples& other : view.configs) {
        if (first == nullptr && other.config.ssao)
            first = &other;
        if (first == nullptr || !other.config.ssao ||
            other.config.estimator != first->config.estimator ||
            other.config.kernel != c.config.kernel || other.config.blur != c.config.blur ||
            other.config.accumulate != c.config.accumulate)
            continue;
        if (other.config.normals == c.config.normals)
            return &other;
        if (anyNormals == nullptr)
            anyNormals = &other;
    }
    return anyNormals;
}

Json SettingsJson(const BenchResult& r) {
    Json estimators = Json::array();
    for (SSAOEstimator e : r.estimators)
        estimators.push_back(EstimatorName(e));
    Json normals = Json::array();
    for (SSAONormals n : r.normals)
        normals.push_back(NormalsName(n));
    Json views = Json::array();
    for (const ViewResult& v : r.views)
        views.push_back(
            {{"name", v.view.name}, {"eye", JsonVec3(v.view.eye)}, {"dir", JsonVec3(v.view.dir)}});
    return {{"model", r.modelPath},
            {"gl_renderer", r.glRenderer},
            {"width", r.width},
            {"height", r.height},
            {"kernels", r.kernels},
            {"estimators", std::move(estimators)},
            {"normals", std::move(normals)},
            {"accumulating", r.accumulating},
            {"radius", JsonFloat(r.radius)},
            {"frames", r.frames},
            {"warmup_frames", r.warmupFrames},
            {"floor_footprint", kFloorFootprint},
            {"views", std::move(views)}};
}

Json StartupJson(const StartupTimes& s) {
    return {{"model_import", s.modelImportMs}, {"texture_loading", s.textureLoadMs},
            {"gpu_setup", s.GpuSetupMs()},     {"engine", s.engineMs},
            {"renderer", s.rendererMs},        {"programs", s.programsMs},
            {"model_load", s.modelLoadMs},     {"total", s.totalMs}};
}

Json ConfigJson(const ViewResult& view, const ConfigSamples& c) {
    Json passes = Json::object();
    for (int p = 0; p < PASS_COUNT; ++p)
        passes[kPassNames[p]] = Median(c.pass[p]);
    double low = c.frame.empty() ? NAN : *std::min_element(c.frame.begin(), c.frame.end());
    double high = c.frame.empty() ? NAN : *std::max_element(c.frame.begin(), c.frame.end());
    return {{"ssao", c.config.ssao},
            {"blur", c.config.blur},
            {"kernel", c.config.kernel},
            {"estimator", c.config.ssao ? EstimatorName(c.config.estimator) : "none"},
            {"normals", c.config.ssao ? NormalsName(c.config.normals) : "none"},
            {"accumulate", c.config.accumulate},
            {"frames", c.frame.size()},
            {"frame_ms", Median(c.frame)},
            {"frame_ms_min", low},
            {"frame_ms_max", high},
            {"passes_ms", std::move(passes)},
            {"occlusion_to_floor", FloorRatio(view, c)},
            {"occlusion_to_first_estimator", EstimatorRatio(view, c)}};
}

Json ViewJson(const ViewResult& v) {
    Json configs = Json::array();
    for (const ConfigSamples& c : v.configs)
        configs.push_back(ConfigJson(v, c));
    Json floors = Json::array();
    for (const FloorSamples& f : v.floors)
        floors.push_back({{"fetches", f.fetches}, {"ms", Median(f.ms)}});
    return {{"name", v.view.name},
            {"eye", JsonVec3(v.view.eye)},
            {"dir", JsonVec3(v.view.dir)},
            {"covered_fraction", v.coveredFraction},
            {"fetch_floor", std::move(floors)},
            {"configs", std::move(configs)}};
}

void PrintView(FILE* out, const ViewResult& v) {
    std::fprintf(out, "\nview %s: eye (%g, %g, %g) dir (%g, %g, %g), %.1f%% of pixels covered\n",
                 v.view.name.c_str(), v.view.eye.x, v.view.eye.y, v.view.eye.z, v.view.dir.x,
                 v.view.dir.y, v.view.dir.z, 100.0 * v.coveredFraction);
    std::fprintf(out, "%-24s %9s %9s %9s %9s %9s %9s %9s %9s %7s %7s\n", "configuration", "frame",
                 "geometry", "occlusion", "blur", "accum", "lighting", "ovl+pres", "floor",
                 "x floor", "x est 1");
    for (const ConfigSamples& c : v.configs) {
        std::fprintf(out, "%-24s %9.2f", c.config.Label().c_str(), Median(c.frame));
        for (int p = 0; p < PASS_COUNT; ++p)
            std::fprintf(out, " %9.2f", Median(c.pass[p]));
        double floor = c.config.ssao ? FloorMedian(v, c.config.kernel) : -1.0;
        if (floor > 0.0)
            std::fprintf(out, " %9.2f %7.2f", floor, FloorRatio(v, c));
        else
            std::fprintf(out, " %9s %7s", "-", "-");
        double ratio = EstimatorRatio(v, c);
        if (std::isfinite(ratio))
            std::fprintf(out, " %7.2f\n", ratio);
        else
            std::fprintf(out, " %7s\n", "-");
    }
}

} // namespace

double Median(std::vector<double> values) {
    if (values.empty())
        return 0.0;
    size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + middle, values.end());
    double upper = values[middle];
    if (values.size() % 2 == 1)
        return upper;
    double lower = *std::max_element(values.begin(), values.begin() + middle);
    return 0.5 * (lower + upper);
}

std::string BenchConfig::Label() const {
    if (!ssao)
        return "SSAO off";
    // The defaults go unnamed, as in the reports before there were choices.
    std::string named =
        estimator == ESTIMATOR_HEMISPHERE ? "" : std::string(", ") + EstimatorName(estimator);
    if (normals != DefaultNormals(estimator))
        named += std::string(", ") + NormalsName(normals);
    if (accumulate)
        named += ", accumulating";
    return std::to_string(kernel) + (blur ? " + blur" : " no blur") + named;
}

std::vector<BenchConfig> BenchConfigs(const std::vector<uint32_t>& kernels,
                                      const std::vector<SSAOEstimator>& estimators,
                                      const std::vector<SSAONormals>& normals, bool accumulating) {
    std::vector<BenchConfig> configs{BenchConfig{}};
    for (uint32_t k : kernels)
        for (SSAOEstimator e : estimators) {
            const std::vector<SSAONormals> own{DefaultNormals(e)};
            for (SSAONormals n : normals.empty() ? own : normals) {
                configs.push_back(BenchConfig{true, true, k, e, n, false});
                configs.push_back(BenchConfig{true, false, k, e, n, false});
                if (accumulating)
                    configs.push_back(BenchConfig{true, true, k, e, n, true});
            }
        }
    return configs;
}

double FloorMedian(const ViewResult& view, uint32_t fetches) {
    for (const FloorSamples& f : view.floors) {
        if (f.fetches == fetches && !f.ms.empty())
            return Median(f.ms);
    }
    return -1.0;
}

double EstimatorRatio(const ViewResult& view, const ConfigSamples& c) {
    const ConfigSamples* peer = c.config.ssao ? FirstEstimatorPeer(view, c) : nullptr;
    if (peer == nullptr || peer == &c)
        return NAN;
    const std::vector<double>& ours = c.pass[PASS_OCCLUSION];
    const std::vector<double>& theirs = peer->pass[PASS_OCCLUSION];
    std::vector<double> ratios;
    for (size_t i = 0; i < std::min(ours.size(), theirs.size()); ++i) {
        if (theirs[i] > 0.0)
            ratios.push_back(ours[i] / theirs[i]);
    }
    return ratios.empty() ? NAN : Median(ratios);
}

void PrintReport(FILE* out, const BenchResult& r) {
    const StartupTimes& s = r.startup;
    std::fprintf(out, "model %s, %d x %d, %s\n", r.modelPath.c_str(), r.width, r.height,
                 r.glRenderer.c_str());
    std::fprintf(out,
                 "start-up: model import %.0f ms, texture loading %.0f ms (%d textures), GPU "
                 "set-up %.0f ms (renderer %.0f, programs %.0f), engine %.0f ms; the demo's "
                 "loader (import, textures, meshes) %.0f ms; total %.0f ms\n",
                 s.modelImportMs, s.textureLoadMs, s.textureCount, s.GpuSetupMs(), s.rendererMs,
                 s.programsMs, s.engineMs, s.modelLoadMs, s.totalMs);
    std::fprintf(out,
                 "peak resident memory: %.1f MiB; zone memory in use: %.1f MiB in %llu blocks\n",
                 double(r.peakResidentKiB) / 1024.0, double(r.zoneBytesInUse) / (1024.0 * 1024.0),
                 static_cast<unsigned long long>(r.zoneBlocks));
    std::fprintf(out,
                 "median ms over %d frames per configuration (after %d warm-up frames), radius "
                 "%g; floor = a bare pass fetching as many G-buffer texels, %s; x est 1 = "
                 "occlusion against the first estimator's at the same kernel and blur, median "
                 "of the rounds' ratios\n",
                 r.frames, r.warmupFrames, r.radius, kFloorFootprint);
    std::string estimators;
    for (SSAOEstimator e : r.estimators)
        estimators += std::string(estimators.empty() ? "" : ", ") + EstimatorName(e);
    std::string normals;
    for (SSAONormals n : r.normals)
        normals += std::string(normals.empty() ? "" : ", ") + NormalsName(n);
    std::fprintf(out, "estimators: %s; normals: %s%s\n", estimators.c_str(),
                 normals.empty() ? "each estimator's default" : normals.c_str(),
                 r.accumulating ? "; accumulating frames measured too" : "");
    for (const ViewResult& v : r.views)
        PrintView(out, v);
}

std::string ToJson(const BenchResult& r) {
    Json views = Json::array();
    for (const ViewResult& v : r.views)
        views.push_back(ViewJson(v));
    const Json document = {{"tool", "framebench"},
                           {"settings", SettingsJson(r)},
                           {"startup_ms", StartupJson(r.startup)},
                           {"textures", r.startup.textureCount},
                           {"peak_resident_kib", r.peakResidentKiB},
                           {"zone_bytes_in_use", r.zoneBytesInUse},
                           {"zone_blocks", r.zoneBlocks},
                           {"views", std::move(views)}};
    return JsonText(document);
}

bool WriteJson(const std::string& path, const BenchResult& result, std::string* error) {
    const std::string text = ToJson(result);
    return WriteFileOrStandardOutput(path, text.data(), text.size(), error);
}
