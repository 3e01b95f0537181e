// AoReport: tables, JSON and the side-by-side comparison image.
#include "aotruth/AoReport.h"

#include <cerrno>
#include <cmath>
#include <cstring>

#include "core/Json.h"
#include "core/OutputFile.h"
#include "core/Logger.h"
#include "image/PngWrite.h"

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

Json MetricsJson(const ErrorMetrics& e) {
    return {{"mae", e.mae}, {"rmse", e.rmse}, {"bias", e.bias}, {"ssim", e.ssim}};
}

Json ComparisonJson(const Comparison& c) {
    return {{"raw", MetricsJson(c.raw)},
            {"fitted", MetricsJson(c.fitted)},
            {"gain", c.fit.gain},
            {"offset", c.fit.offset},
            {"pixels", c.pixels}};
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
            "%s normals, %d frame%s at rest, %d rays%s\n"
            "  surface pixels: reference %llu, demo %llu, in one mask only %llu, "
            "at another depth %llu; mean reference visibility %.4f\n"
            "  mean of %d draws; fitted = after the best a * ours + b\n",
            view.name.c_str(), view.eye.x, view.eye.y, view.eye.z, view.dir.x, view.dir.y,
            view.dir.z, view.width, view.height, double(settings.radius),
            EstimatorName(settings.estimator), NormalsName(settings.normals), settings.framesAtRest,
            settings.framesAtRest == 1 ? "" : "s", settings.rays,
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
    Json viewsJson = Json::array();
    for (const ViewResult& view : views) {
        Json kernels = Json::array();
        for (const KernelResult& kr : view.kernels) {
            Json draws = Json::array();
            for (const DrawResult& d : kr.draws)
                draws.push_back(
                    {{"raw", ComparisonJson(d.raw)}, {"blurred", ComparisonJson(d.blurred)}});
            kernels.push_back({{"kernel", kr.kernel},
                               {"raw", ComparisonJson(MeanComparison(Pick(kr, false)))},
                               {"blurred", ComparisonJson(MeanComparison(Pick(kr, true)))},
                               {"draws", std::move(draws)}});
        }
        viewsJson.push_back({{"name", view.name},
                             {"eye", JsonVec3(view.eye)},
                             {"dir", JsonVec3(view.dir)},
                             {"width", view.width},
                             {"height", view.height},
                             {"reference_pixels", view.tracedPixels},
                             {"demo_pixels", view.demoPixels},
                             {"mismatch_pixels", view.mismatchPixels},
                             {"other_surface_pixels", view.otherSurfacePixels},
                             {"mean_reference", view.meanReference},
                             {"cached_reference", view.cached},
                             {"image", view.image},
                             {"kernels", std::move(kernels)}});
    }
    const Json document = {{"model", settings.model},
                           {"estimator", EstimatorName(settings.estimator)},
                           {"normals", NormalsName(settings.normals)},
                           {"frames_at_rest", settings.framesAtRest},
                           {"radius", JsonFloat(settings.radius)},
                           {"rays", settings.rays},
                           {"draws", settings.draws},
                           {"views", std::move(viewsJson)}};
    return JsonText(document);
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
    const PngBytes png = EncodePng(total, h, kRgb, rgb);
    if (png.bytes.empty()) {
        LogMessage(LOG_ERROR, kTag, "Couldn't encode \"%s\": %s", path.c_str(), png.reason.c_str());
        return -1;
    }
    return WriteTextFile(path, std::string(png.bytes.begin(), png.bytes.end()));
}

int WriteTextFile(const std::string& path, const std::string& text) {
    std::string error;
    if (!WriteFileWhole(path, text.data(), text.size(), &error)) {
        LogMessage(LOG_ERROR, kTag, "%s", error.c_str());
        return -1;
    }
    return 0;
}
