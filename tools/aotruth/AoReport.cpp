// AoReport: tables, JSON and the side-by-side comparison image.
#include "aotruth/AoReport.h"

#include <cerrno>
#include <cmath>
#include <cstring>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include "core/JsonText.h"
#include "core/OutputFile.h"
#include "core/Logger.h"

namespace {

const char* const kTag = "AoTruth";
constexpr int kPanelGap = 4;      // pixels between the three panels
constexpr uint8_t kGapGrey = 255; // the gap between panels
constexpr int kRgb = 3;

void Accumulate(ErrorMetrics* sum, const ErrorMetrics& e) {
    sum->mae += e.mae;
    sum->rmse += e.rmse;
    sum->bias += e.bias;
    sum->ssim += e.ssim;
}

void Scale(ErrorMetrics* e, double f) {
    e->mae *= f;
    e->rmse *= f;
    e->bias *= f;
    e->ssim *= f;
}

std::vector<Comparison> Pick(const KernelResult& k, bool blurred) {
    std::vector<Comparison> out;
    for (const DrawResult& d : k.draws)
        out.push_back(blurred ? d.blurred : d.raw);
    return out;
}

std::string Number(double value) {
    char text[32];
    snprintf(text, sizeof(text), "%.6g", std::isfinite(value) ? value : 0.0);
    return text;
}

std::string Vec(const glm::vec3& v) {
    return "[" + Number(v.x) + ", " + Number(v.y) + ", " + Number(v.z) + "]";
}

std::string MetricsJson(const ErrorMetrics& e) {
    return "{\"mae\": " + Number(e.mae) + ", \"rmse\": " + Number(e.rmse) +
           ", \"bias\": " + Number(e.bias) + ", \"ssim\": " + Number(e.ssim) + "}";
}

std::string ComparisonJson(const Comparison& c) {
    return "{\"raw\": " + MetricsJson(c.raw) + ", \"fitted\": " + MetricsJson(c.fitted) +
           ", \"gain\": " + Number(c.fit.gain) + ", \"offset\": " + Number(c.fit.offset) +
           ", \"pixels\": " + std::to_string(c.pixels) + "}";
}

void PrintRow(FILE* out, uint32_t kernel, const char* pass, const Comparison& c) {
    fprintf(out, "%6u  %-7s %7.4f %7.4f %+8.4f %7.4f   %7.4f %7.4f %7.4f  %6.3f %+7.3f\n", kernel,
            pass, c.raw.mae, c.raw.rmse, c.raw.bias, c.raw.ssim, c.fitted.mae, c.fitted.rmse,
            c.fitted.ssim, c.fit.gain, c.fit.offset);
}

} // namespace

Comparison MeanComparison(const std::vector<Comparison>& comparisons) {
    Comparison mean;
    mean.fit.gain = 0.0;
    for (const Comparison& c : comparisons) {
        Accumulate(&mean.raw, c.raw);
        Accumulate(&mean.fitted, c.fitted);
        mean.fit.gain += c.fit.gain;
        mean.fit.offset += c.fit.offset;
        mean.pixels += c.pixels;
    }
    if (comparisons.empty())
        return Comparison{};
    double f = 1.0 / double(comparisons.size());
    Scale(&mean.raw, f);
    Scale(&mean.fitted, f);
    mean.fit.gain *= f;
    mean.fit.offset *= f;
    mean.pixels /= comparisons.size();
    return mean;
}

void PrintViewTable(FILE* out, const RunSettings& settings, const ViewResult& view) {
    fprintf(out,
            "\nview %s: eye (%g, %g, %g) dir (%g, %g, %g), %dx%d, radius %g, %s estimator, "
            "%d rays%s\n"
            "  surface pixels: reference %llu, demo %llu, in one mask only %llu, "
            "at another depth %llu; mean reference visibility %.4f\n"
            "  mean of %d draws; fitted = after the best a * ours + b\n",
            view.name.c_str(), view.eye.x, view.eye.y, view.eye.z, view.dir.x, view.dir.y,
            view.dir.z, view.width, view.height, double(settings.radius),
            EstimatorName(settings.estimator), settings.rays,
            view.cached ? " (cached reference)" : "", (unsigned long long)view.tracedPixels,
            (unsigned long long)view.demoPixels, (unsigned long long)view.mismatchPixels,
            (unsigned long long)view.otherSurfacePixels, view.meanReference, settings.draws);
    fprintf(out, "kernel  pass        MAE    RMSE     bias    SSIM   fit MAE fitRMSE fitSSIM"
                 "       a       b\n");
    for (const KernelResult& k : view.kernels) {
        PrintRow(out, k.kernel, "raw", MeanComparison(Pick(k, false)));
        PrintRow(out, k.kernel, "blurred", MeanComparison(Pick(k, true)));
    }
    fflush(out);
}

std::string ResultsJson(const RunSettings& settings, const std::vector<ViewResult>& views) {
    std::string json = "{\n  \"model\": " + JsonQuoted(settings.model) +
                       ",\n  \"estimator\": " + JsonQuoted(EstimatorName(settings.estimator)) +
                       ",\n  \"radius\": " + Number(settings.radius) +
                       ",\n  \"rays\": " + std::to_string(settings.rays) +
                       ",\n  \"draws\": " + std::to_string(settings.draws) + ",\n  \"views\": [";
    for (size_t v = 0; v < views.size(); ++v) {
        const ViewResult& view = views[v];
        json += v ? ",\n" : "\n";
        json += "    {\"name\": " + JsonQuoted(view.name) + ", \"eye\": " + Vec(view.eye) +
                ", \"dir\": " + Vec(view.dir) + ", \"width\": " + std::to_string(view.width) +
                ", \"height\": " + std::to_string(view.height) +
                ", \"reference_pixels\": " + std::to_string(view.tracedPixels) +
                ", \"demo_pixels\": " + std::to_string(view.demoPixels) +
                ", \"mismatch_pixels\": " + std::to_string(view.mismatchPixels) +
                ", \"other_surface_pixels\": " + std::to_string(view.otherSurfacePixels) +
                ", \"mean_reference\": " + Number(view.meanReference) +
                ", \"cached_reference\": " + (view.cached ? "true" : "false") +
                ", \"image\": " + JsonQuoted(view.image) + ",\n     \"kernels\": [";
        for (size_t k = 0; k < view.kernels.size(); ++k) {
            const KernelResult& kr = view.kernels[k];
            json += k ? ",\n" : "\n";
            json += "       {\"kernel\": " + std::to_string(kr.kernel) +
                    ",\n        \"raw\": " + ComparisonJson(MeanComparison(Pick(kr, false))) +
                    ",\n        \"blurred\": " + ComparisonJson(MeanComparison(Pick(kr, true))) +
                    ",\n        \"draws\": [";
            for (size_t d = 0; d < kr.draws.size(); ++d) {
                json += d ? ",\n          " : "\n          ";
                json += "{\"raw\": " + ComparisonJson(kr.draws[d].raw) +
                        ", \"blurred\": " + ComparisonJson(kr.draws[d].blurred) + "}";
            }
            json += "]}";
        }
        json += "]}";
    }
    return json + "\n  ]\n}\n";
}

int WriteSideBySide(const std::string& path, const GreyImage& reference, const GreyImage& ours,
                    const std::vector<uint8_t>& mask) {
    int w = reference.width, h = reference.height;
    int total = 3 * w + 2 * kPanelGap;
    std::vector<uint8_t> rgb(size_t(total) * h * kRgb, kGapGrey);
    auto put = [&](int panel, int x, int y, const uint8_t c[3]) {
        uint8_t* p = &rgb[(size_t(y) * total + panel * (w + kPanelGap) + x) * kRgb];
        p[0] = c[0];
        p[1] = c[1];
        p[2] = c[2];
    };
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            size_t i = size_t(y) * w + x;
            uint8_t empty[3] = {kEmptyGrey, kEmptyGrey, kEmptyGrey};
            if (!mask[i]) {
                for (int panel = 0; panel < 3; ++panel)
                    put(panel, x, y, empty);
                continue;
            }
            auto grey = [](float v) {
                uint8_t g =
                    static_cast<uint8_t>(std::lround(255.0f * std::min(1.0f, std::max(0.0f, v))));
                return g;
            };
            uint8_t r[3] = {grey(reference.pixels[i]), grey(reference.pixels[i]),
                            grey(reference.pixels[i])};
            uint8_t o[3] = {grey(ours.pixels[i]), grey(ours.pixels[i]), grey(ours.pixels[i])};
            uint8_t d[3];
            HeatColour(ours.pixels[i] - reference.pixels[i], d);
            put(0, x, y, r);
            put(1, x, y, o);
            put(2, x, y, d);
        }
    }
    // Encoded in memory first, so that the file is written whole or not at all.
    std::string png;
    auto append = [](void* context, void* data, int size) {
        static_cast<std::string*>(context)->append(static_cast<const char*>(data), size_t(size));
    };
    if (!stbi_write_png_to_func(append, &png, total, h, kRgb, rgb.data(), total * kRgb)) {
        LogMessage(LOG_ERROR, kTag, "Couldn't encode \"%s\"", path.c_str());
        return -1;
    }
    return WriteTextFile(path, png);
}

int WriteTextFile(const std::string& path, const std::string& text) {
    std::string error;
    if (!WriteFileWhole(path, text.data(), text.size(), &error)) {
        LogMessage(LOG_ERROR, kTag, "%s", error.c_str());
        return -1;
    }
    return 0;
}
