// BenchReport: medians of the frame samples and the two reports. The JSON
// holds every setting the run used and every pass of every configuration, so
// two runs can be compared without the command lines that made them.
#include "framebench/BenchReport.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "core/JsonText.h"
#include "core/OutputFile.h"

const char* const kPassNames[PASS_COUNT] = {"geometry", "occlusion", "blur", "lighting",
                                            "overlay_present"};

const char* const kFloorFootprint =
    "spread over the occlusion radius projected at each pixel's depth";

namespace {

// JSON has no NaN or infinity: such a figure is written as null.
std::string Number(double value) {
    if (!std::isfinite(value))
        return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", value);
    return text;
}

std::string Vector(const glm::vec3& v) {
    return "[" + Number(v.x) + ", " + Number(v.y) + ", " + Number(v.z) + "]";
}

// The occlusion pass against the floor with as many fetches; null without one.
double FloorRatio(const ViewResult& view, const ConfigSamples& c) {
    double floor = c.config.ssao ? FloorMedian(view, c.config.kernel) : -1.0;
    return floor > 0.0 ? Median(c.pass[PASS_OCCLUSION]) / floor : NAN;
}

std::string SettingsJson(const BenchResult& r) {
    std::string kernels;
    for (size_t i = 0; i < r.kernels.size(); ++i)
        kernels += (i ? ", " : "") + std::to_string(r.kernels[i]);
    std::string estimators;
    for (size_t i = 0; i < r.estimators.size(); ++i)
        estimators += (i ? ", " : "") + JsonQuoted(EstimatorName(r.estimators[i]));
    std::string views;
    for (size_t i = 0; i < r.views.size(); ++i) {
        const NamedView& v = r.views[i].view;
        views += std::string(i ? ",\n" : "") + "      {\"name\": " + JsonQuoted(v.name) +
                 ", \"eye\": " + Vector(v.eye) + ", \"dir\": " + Vector(v.dir) + "}";
    }
    return "  \"settings\": {\n"
           "    \"model\": " +
           JsonQuoted(r.modelPath) + ",\n" + "    \"gl_renderer\": " + JsonQuoted(r.glRenderer) +
           ",\n" + "    \"width\": " + std::to_string(r.width) + ",\n" +
           "    \"height\": " + std::to_string(r.height) + ",\n" + "    \"kernels\": [" + kernels +
           "],\n" + "    \"estimators\": [" + estimators + "],\n" +
           "    \"radius\": " + Number(r.radius) + ",\n" +
           "    \"frames\": " + std::to_string(r.frames) + ",\n" +
           "    \"warmup_frames\": " + std::to_string(r.warmupFrames) + ",\n" +
           "    \"floor_footprint\": " + JsonQuoted(kFloorFootprint) + ",\n" +
           "    \"views\": [\n" + views + "\n    ]\n  },\n";
}

std::string StartupJson(const BenchResult& r) {
    const StartupTimes& s = r.startup;
    return "  \"startup_ms\": {\"model_import\": " + Number(s.modelImportMs) +
           ", \"texture_loading\": " + Number(s.textureLoadMs) +
           ", \"gpu_setup\": " + Number(s.GpuSetupMs()) + ", \"engine\": " + Number(s.engineMs) +
           ", \"renderer\": " + Number(s.rendererMs) + ", \"programs\": " + Number(s.programsMs) +
           ", \"model_load\": " + Number(s.modelLoadMs) + ", \"total\": " + Number(s.totalMs) +
           "},\n  \"textures\": " + std::to_string(s.textureCount) +
           ",\n  \"peak_resident_kib\": " + std::to_string(r.peakResidentKiB) +
           ",\n  \"zone_bytes_in_use\": " + std::to_string(r.zoneBytesInUse) +
           ",\n  \"zone_blocks\": " + std::to_string(r.zoneBlocks) + ",\n";
}

std::string ConfigJson(const ViewResult& view, const ConfigSamples& c) {
    std::string passes;
    for (int p = 0; p < PASS_COUNT; ++p)
        passes +=
            std::string(p ? ", " : "") + "\"" + kPassNames[p] + "\": " + Number(Median(c.pass[p]));
    double low = c.frame.empty() ? NAN : *std::min_element(c.frame.begin(), c.frame.end());
    double high = c.frame.empty() ? NAN : *std::max_element(c.frame.begin(), c.frame.end());
    return "        {\"ssao\": " + std::string(c.config.ssao ? "true" : "false") +
           ", \"blur\": " + (c.config.blur ? "true" : "false") +
           ", \"kernel\": " + std::to_string(c.config.kernel) + ", \"estimator\": " +
           JsonQuoted(c.config.ssao ? EstimatorName(c.config.estimator) : "none") +
           ", \"frames\": " + std::to_string(c.frame.size()) +
           ",\n         \"frame_ms\": " + Number(Median(c.frame)) +
           ", \"frame_ms_min\": " + Number(low) + ", \"frame_ms_max\": " + Number(high) +
           ",\n         \"passes_ms\": {" + passes + "}" +
           ",\n         \"occlusion_to_floor\": " + Number(FloorRatio(view, c)) + "}";
}

std::string ViewJson(const ViewResult& v) {
    std::string configs;
    for (size_t i = 0; i < v.configs.size(); ++i)
        configs += (i ? ",\n" : "") + ConfigJson(v, v.configs[i]);
    std::string floors;
    for (size_t i = 0; i < v.floors.size(); ++i)
        floors += std::string(i ? ", " : "") +
                  "{\"fetches\": " + std::to_string(v.floors[i].fetches) +
                  ", \"ms\": " + Number(Median(v.floors[i].ms)) + "}";
    return "    {\"name\": " + JsonQuoted(v.view.name) + ", \"eye\": " + Vector(v.view.eye) +
           ", \"dir\": " + Vector(v.view.dir) +
           ", \"covered_fraction\": " + Number(v.coveredFraction) + ",\n      \"fetch_floor\": [" +
           floors + "],\n      \"configs\": [\n" + configs + "\n      ]}";
}

void PrintView(FILE* out, const ViewResult& v) {
    std::fprintf(out, "\nview %s: eye (%g, %g, %g) dir (%g, %g, %g), %.1f%% of pixels covered\n",
                 v.view.name.c_str(), v.view.eye.x, v.view.eye.y, v.view.eye.z, v.view.dir.x,
                 v.view.dir.y, v.view.dir.z, 100.0 * v.coveredFraction);
    std::fprintf(out, "%-24s %9s %9s %9s %9s %9s %9s %9s %7s\n", "configuration", "frame",
                 "geometry", "occlusion", "blur", "lighting", "ovl+pres", "floor", "x floor");
    for (const ConfigSamples& c : v.configs) {
        std::fprintf(out, "%-24s %9.2f", c.config.Label().c_str(), Median(c.frame));
        for (int p = 0; p < PASS_COUNT; ++p)
            std::fprintf(out, " %9.2f", Median(c.pass[p]));
        double floor = c.config.ssao ? FloorMedian(v, c.config.kernel) : -1.0;
        if (floor > 0.0)
            std::fprintf(out, " %9.2f %7.2f\n", floor, FloorRatio(v, c));
        else
            std::fprintf(out, " %9s %7s\n", "-", "-");
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
    // The default estimator goes unnamed, as in the reports before there were two.
    std::string named =
        estimator == ESTIMATOR_HEMISPHERE ? "" : std::string(", ") + EstimatorName(estimator);
    return std::to_string(kernel) + (blur ? " + blur" : " no blur") + named;
}

std::vector<BenchConfig> BenchConfigs(const std::vector<uint32_t>& kernels,
                                      const std::vector<SSAOEstimator>& estimators) {
    std::vector<BenchConfig> configs{BenchConfig{}};
    for (uint32_t k : kernels)
        for (SSAOEstimator e : estimators) {
            configs.push_back(BenchConfig{true, true, k, e});
            configs.push_back(BenchConfig{true, false, k, e});
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
                 "%g; floor = a bare pass fetching as many G-buffer texels, %s\n",
                 r.frames, r.warmupFrames, r.radius, kFloorFootprint);
    std::string estimators;
    for (SSAOEstimator e : r.estimators)
        estimators += std::string(estimators.empty() ? "" : ", ") + EstimatorName(e);
    std::fprintf(out, "estimators: %s\n", estimators.c_str());
    for (const ViewResult& v : r.views)
        PrintView(out, v);
}

std::string ToJson(const BenchResult& r) {
    std::string views;
    for (size_t i = 0; i < r.views.size(); ++i)
        views += (i ? ",\n" : "") + ViewJson(r.views[i]);
    return "{\n  \"tool\": \"framebench\",\n" + SettingsJson(r) + StartupJson(r) +
           "  \"views\": [\n" + views + "\n  ]\n}\n";
}

bool WriteJson(const std::string& path, const BenchResult& result, std::string* error) {
    const std::string text = ToJson(result);
    return WriteFileOrStandardOutput(path, text.data(), text.size(), error);
}
