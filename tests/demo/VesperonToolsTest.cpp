// VesperonTools inside the running application: a ray-tracing device that
// can't be made leaves the demo running with the reason on screen and in the
// log; F5 with sound shaders reloads without a visible change of state;
// screenshots land whole at the drawable's size with the view's JSON, whose
// command reopens the view, and an unwritable folder gives a clear message.
#include "demo/Vesperon.h"

#include <cstdio>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include "core/Json.h"
#include "demo/DemoOptions.h"
#include "gpu/Window.h"
#include "input/InputDriver.h"
#include "ssao/AoScene.h"
#include "ssao/Umbrelix.h"
#include "support/LogCapture.h"
#include "support/RunningDemo.h"
#include "support/TempDir.h"

namespace {

constexpr int kMaxFrames = 400;

class VesperonTools : public RunningDemo {
protected:
    void SetUp() override {
        RunningDemo::SetUp();
        if (!HasFatalFailure())
            mApp.Frame();
    }
    // Frames until the log holds fragment (the scene build runs beside them).
    bool FramesUntil(LogCapture& log, const char* fragment) {
        for (int i = 0; i < kMaxFrames && !log.ContainsFragment(fragment); ++i) {
            mApp.Frame();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return log.ContainsFragment(fragment);
    }
};

// Width and height from a PNG's header (big-endian, after the signature and
// the IHDR chunk's length and type).
bool PngSize(const std::string& path, int* width, int* height) {
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return false;
    unsigned char header[24];
    bool ok = fread(header, 1, sizeof(header), file) == sizeof(header) && header[1] == 'P' &&
              header[12] == 'I' && header[15] == 'R';
    fclose(file);
    auto be32 = [&](int at) {
        return int(header[at]) << 24 | int(header[at + 1]) << 16 | int(header[at + 2]) << 8 |
               int(header[at + 3]);
    };
    *width = be32(16);
    *height = be32(20);
    return ok;
}

} // namespace

namespace {

// A device maker that fails as Embree does when it can't make one.
RTCDeviceTy* NoDevice(const char*) {
    return nullptr;
}

} // namespace

TEST_F(VesperonTools, ADeviceThatCannotBeMadeIsReportedAndTheDemoRunsOn) {
    LogCapture log;
    mApp.mTruth.UseRayDeviceMaker(NoDevice);
    mApp.CycleTruth();
    ASSERT_TRUE(FramesUntil(log, "No ray-traced truth")) << log.Text();
    std::string rays, figures;
    bool failed = false;
    mApp.mTruth.StatusLines(&rays, &figures, &failed);
    EXPECT_TRUE(failed);
    EXPECT_EQ(rays, "Truth: unavailable: the ray-tracing scene could not be built");
    EXPECT_TRUE(log.ContainsFragment("Couldn't create the Embree device"));
    mApp.Frame();
    mApp.CycleTruth();
    mApp.CycleTruth();
    mApp.Frame();
    EXPECT_TRUE(mApp.mRunning);
}

TEST_F(VesperonTools, ReloadingSoundShadersKeepsTheSettingsAndClearsTheError) {
    Umbrelix* renderer = mApp.GetRenderer();
    std::vector<glm::vec3> kernel = renderer->Kernel();
    mApp.mShaderError = "an earlier failure";
    LogCapture log;
    mApp.ReloadShaders();
    EXPECT_TRUE(log.ContainsFragment("Shaders reloaded")) << log.Text();
    EXPECT_TRUE(mApp.mShaderError.empty());
    EXPECT_EQ(renderer->Kernel(), kernel) << "the kernel is uploaded again, not drawn afresh";
    mApp.Frame();
}

TEST_F(VesperonTools, HSwitchesTheEstimatorLiveAndTheOverlayNamesItAwayFromTheDefault) {
    Umbrelix* renderer = mApp.GetRenderer();
    ASSERT_EQ(renderer->Estimator(), ESTIMATOR_HEMISPHERE) << "the demo starts as it always did";
    // Presses of H, then what the renderer runs and the overlay's estimator line.
    const struct {
        SSAOEstimator estimator;
        const char* line; // empty: not drawn
    } afterPress[] = {
        {ESTIMATOR_HORIZON, "Estimator: horizon"},
        {ESTIMATOR_HEMISPHERE, ""},
        {ESTIMATOR_HORIZON, "Estimator: horizon"},
    };
    mApp.Frame();
    const int line = kOverlayExtraLines - 1; // the estimator's, below the truth's
    EXPECT_FALSE(mApp.mOverlay.mExtraShown[line]) << "no estimator line at start";
    for (const auto& expected : afterPress) {
        Event key{};
        key.type = EVENT_KEY;
        key.key.key = KEY_H;
        Vesperon::OnKey(&key, &mApp);
        mApp.Frame();
        EXPECT_EQ(renderer->Estimator(), expected.estimator);
        const bool shown = expected.line[0] != '\0';
        ASSERT_EQ(mApp.mOverlay.mExtraShown[line], shown) << expected.line;
        if (shown) {
            EXPECT_STREQ(mApp.mOverlay.mExtraTexts[line]->mText, expected.line);
        }
    }
}

// N and C show on the estimator's line: the normals while they are not the
// estimator's own, and while accumulation is on, how many frames the mean of
// the view at rest holds (counting to 16 and staying there).
TEST_F(VesperonTools, TheOverlayNamesOtherNormalsAndCountsTheFramesAtRest) {
    const int line = kOverlayExtraLines - 1;
    auto press = [this](uint8_t code) {
        Event key{};
        key.type = EVENT_KEY;
        key.key.key = code;
        Vesperon::OnKey(&key, &mApp);
    };
    auto text = [this, line]() {
        return mApp.mOverlay.mExtraShown[line] ? std::string(mApp.mOverlay.mExtraTexts[line]->mText)
                                               : std::string();
    };
    mApp.Frame();
    EXPECT_EQ(text(), "");
    press(KEY_N);
    mApp.Frame();
    EXPECT_EQ(text(), "Normals: geometric");
    press(KEY_C);
    for (int frame = 1; frame <= kAccumulationFrames + 2; ++frame) {
        mApp.Frame();
        const int held = std::min(frame, kAccumulationFrames);
        EXPECT_EQ(text(), "Normals: geometric  At rest: " + std::to_string(held) + " of 16 frames")
            << "frame " << frame;
    }
    EXPECT_EQ(mApp.GetRenderer()->ShownOcclusionTexture(),
              mApp.GetRenderer()->AccumulationTexture());
    press(KEY_N);
    mApp.Frame();
    EXPECT_EQ(text(), "At rest: 1 of 16 frames") << "a new setting starts the mean again";
    press(KEY_C);
    mApp.Frame();
    EXPECT_EQ(text(), "");
}

TEST_F(VesperonTools, ScreenshotsAreWrittenAtTheDrawableSizeOrRefusedClearly) {
    TempDir dir("vesperon-shots");
    std::vector<std::string> written;
    ASSERT_EQ(mApp.TakeScreenshot(dir.Path(), &written), 0);
    ASSERT_EQ(written.size(), 2u) << "without the truth the window and the view's JSON";
    int width = 0, height = 0, drawableW = 0, drawableH = 0;
    SDL_GL_GetDrawableSize(mApp.mWindow->mSDLWindow, &drawableW, &drawableH);
    ASSERT_TRUE(PngSize(written[0], &width, &height));
    EXPECT_EQ(width, drawableW);
    EXPECT_EQ(height, drawableH);
    std::vector<std::string> again;
    ASSERT_EQ(mApp.TakeScreenshot(dir.Path(), &again), 0);
    EXPECT_NE(again[0], written[0]) << "a second shot in the same second gets its own name";

    LogCapture log;
    std::vector<std::string> none;
    EXPECT_EQ(mApp.TakeScreenshot("/proc/no-such-folder", &none), -1);
    EXPECT_TRUE(none.empty());
    EXPECT_TRUE(log.ContainsFragment("Screenshot not written: cannot write")) << log.Text();
    EXPECT_EQ(mApp.mScreenshotError.rfind("Screenshot not written", 0), 0u);
    mApp.Frame();
}

// Without the truth, F12 still keeps the view: its JSON has the eye, the
// direction and the settings on screen, no figures, and a command line whose
// words (as a shell splits them) read back as options for that very view.
TEST_F(VesperonTools, AShotWithoutTheTruthWritesTheViewsJsonWithTheCommandThatReopensIt) {
    mApp.mOptions.modelPath = "models/it's \xff.obj"; // named as given, quotes and all
    mApp.GetRenderer()->SetKernelSize(32);
    TempDir dir("vesperon-shots");
    std::vector<std::string> written;
    LogCapture log;
    ASSERT_EQ(mApp.TakeScreenshot(dir.Path(), &written), 0);
    ASSERT_EQ(written.size(), 2u);
    ASSERT_EQ(written[1], written[0].substr(0, written[0].size() - 4) + ".json");
    std::ifstream file(written[1]);
    const Json json = Json::parse(file, nullptr, false);
    ASSERT_FALSE(json.is_discarded()) << written[1];
    EXPECT_TRUE(json["figures"].is_null()) << json;
    EXPECT_EQ(json["rays"], 0) << json;
    EXPECT_EQ(json["kernel"], 32) << json;
    const std::string command = json["command"];
    EXPECT_TRUE(log.ContainsFragment("Reopen this view: " + command)) << log.Text();

    // The shell's words, with printf standing in for the program.
    FILE* shell = popen(("printf '%s\\0' " + command).c_str(), "r");
    ASSERT_NE(shell, nullptr);
    std::string output;
    for (int c; (c = fgetc(shell)) != EOF;)
        output += char(c);
    ASSERT_EQ(pclose(shell), 0) << command;
    std::vector<std::string> words;
    for (size_t start = 0, end; (end = output.find('\0', start)) != std::string::npos;
         start = end + 1)
        words.push_back(output.substr(start, end - start));
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(&word[0]);
    DemoOptions read;
    std::string error;
    ASSERT_TRUE(ParseDemoOptions(int(argv.size()), argv.data(), &read, &error)) << error;
    EXPECT_EQ(read.modelPath, mApp.mOptions.modelPath);
    EXPECT_EQ(read.settings.kernelSize, 32u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(read.eye[i], float(json["eye"][i])) << json;
        EXPECT_EQ(read.dir[i], float(json["direction"][i])) << json;
    }
}

// With the truth on, a shot is of one view: the truth of the view on screen
// with its figures, or (right after moving, before a round of the new view)
// the window alone, and the log says why.
TEST_F(VesperonTools, AShotWithTheTruthOnDescribesTheViewOnScreen) {
    Umbrelix* renderer = mApp.GetRenderer();
    mApp.CycleTruth();
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(180);
    while (!mApp.mTruth.FiguresOfView(*renderer) && std::chrono::steady_clock::now() < until)
        mApp.Frame();
    ASSERT_NE(mApp.mTruth.FiguresOfView(*renderer), nullptr) << "figures by 16 rays";
    std::string rays, figures;
    bool failed = false;
    mApp.mTruth.StatusLines(&rays, &figures, &failed);
    EXPECT_NE(figures.find("vs truth (16 rays): MAE "), std::string::npos) << figures;

    TempDir dir("vesperon-shots");
    std::vector<std::string> written;
    ASSERT_EQ(mApp.TakeScreenshot(dir.Path(), &written), 0);
    ASSERT_EQ(written.size(), 4u) << "window, truth, difference and JSON";
    std::ifstream file(written[3]);
    const Json json = Json::parse(file, nullptr, false);
    ASSERT_FALSE(json.is_discarded()) << written[3];
    EXPECT_EQ(json["figures"]["rays"], 16) << json;
    EXPECT_EQ(json["normals"], NormalsName(renderer->Settings().normals)) << json;
    EXPECT_EQ(json["accumulate"], false) << json;
    EXPECT_EQ(json["frames_at_rest"], 0) << json;

    LogCapture log;
    mApp.mCurrentPosition += glm::vec3(5.0f, 0.0f, 0.0f);
    mApp.mPreviousPosition = mApp.mCurrentPosition;
    mApp.Frame();
    std::vector<std::string> moved;
    ASSERT_EQ(mApp.TakeScreenshot(dir.Path(), &moved), 0);
    ASSERT_EQ(moved.size(), 2u) << "the new view has no truth yet: the window and the JSON";
    std::ifstream movedFile(moved[1]);
    const Json movedJson = Json::parse(movedFile, nullptr, false);
    EXPECT_TRUE(movedJson["figures"].is_null()) << moved[1];
    EXPECT_TRUE(log.ContainsFragment("the truth of this view is not traced yet")) << log.Text();
}
