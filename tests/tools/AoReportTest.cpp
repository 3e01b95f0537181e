// AoReport: the JSON holds every figure of every draw and their means; a
// figure that is not a number is null, not zero.
#include "aotruth/AoReport.h"

#include <gtest/gtest.h>

#include <cmath>

#include "core/Json.h"

TEST(AoReport, AFigureThatIsNotANumberIsNullInTheDrawAndItsMean) {
    RunSettings settings{"models/room.obj", 0.9f, 16, 2};
    ViewResult view;
    view.name = "start";
    view.eye = glm::vec3(0.3f, 2.0f, 0.0f);
    view.meanReference = NAN;
    KernelResult kernel;
    kernel.kernel = 8;
    kernel.draws.resize(2);
    kernel.draws[0].raw.raw.mae = 0.25;
    kernel.draws[1].raw.raw.mae = 0.75;
    kernel.draws[1].blurred.raw.ssim = NAN;
    view.kernels = {kernel};
    const Json json = Json::parse(ResultsJson(settings, {view}));
    EXPECT_EQ(json["radius"], 0.9);
    const Json& v = json["views"][0];
    EXPECT_EQ(v["eye"], Json::array({0.3, 2.0, 0.0}));
    EXPECT_TRUE(v["mean_reference"].is_null());
    const Json& k = v["kernels"][0];
    EXPECT_EQ(k["kernel"], 8);
    EXPECT_EQ(k["draws"].size(), 2u);
    EXPECT_EQ(k["raw"]["raw"]["mae"], 0.5) << "the mean of the draws";
    EXPECT_TRUE(k["draws"][1]["blurred"]["raw"]["ssim"].is_null());
    EXPECT_TRUE(k["blurred"]["raw"]["ssim"].is_null());
    EXPECT_EQ(k["draws"][0]["blurred"]["raw"]["ssim"], 0.0);
}
