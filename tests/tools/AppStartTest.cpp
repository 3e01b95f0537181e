// AppStart: the tools' start-up builds the same scene as the demo's own
// Init, reports each phase, and refuses models it can't load without a box.
#include "common/AppStart.h"

#include <gtest/gtest.h>

#include "demo/Vesperon.h"
#include "scene/Mesh.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace {

struct SceneSummary {
    size_t nodes = 0;
    uint64_t indices = 0;
    glm::mat4 firstWorld{0.0f};
    glm::vec3 eye{0.0f};
};

SceneSummary Summarise(const Vesperon& app) {
    SceneSummary s;
    s.nodes = app.SceneRoot().mChildren.size();
    for (const SceneGraphNode& node : app.SceneRoot().mChildren)
        s.indices += node.mMesh ? node.mMesh->mNumIndices : 0;
    if (s.nodes > 0)
        s.firstWorld = app.SceneRoot().mChildren[0].mWorldTransform;
    s.eye = app.mCurrentPosition;
    return s;
}

} // namespace

TEST(AppStart, BuildsTheSameSceneAsTheDemosInitAndTimesEachPhase) {
    LogCapture capture;
    SceneSummary demo;
    {
        Vesperon app;
        ASSERT_EQ(app.Init(SUBSYSTEM_ALL), 0) << capture.Text();
        demo = Summarise(app);
        app.Shutdown();
    }
    Vesperon app;
    StartupTimes times;
    std::string error;
    ASSERT_EQ(StartApp(app, "models/sponza.obj", &times, &error), 0) << error << capture.Text();
    SceneSummary tool = Summarise(app);
    EXPECT_GT(tool.nodes, 0u);
    EXPECT_EQ(tool.nodes, demo.nodes);
    EXPECT_EQ(tool.indices, demo.indices);
    EXPECT_EQ(tool.firstWorld, demo.firstWorld) << "scaled by the demo's 0.075";
    EXPECT_EQ(tool.eye, demo.eye);
    EXPECT_NE(app.mSceneProgram.program, 0u);
    EXPECT_GT(times.textureCount, 0) << "the default scene's materials name textures";
    EXPECT_GE(times.totalMs, times.modelLoadMs);
    EXPECT_GT(PeakResidentKiB(), 0);
    app.Shutdown();
}

TEST(AppStart, RefusesMissingUnreadableAndEmptyModelsWithAReason) {
    LogCapture capture;
    TempDir dir("appstart");
    ASSERT_TRUE(dir.Write("garbage.xyz", std::string("\x01\x02\x03 not a model\n", 17)));
    ASSERT_TRUE(dir.Write("points.obj", "v 0 0 0\nv 1 0 0\np 1\np 2\n"));
    struct Case {
        std::string file;
        bool timed;
        const char* reason;
    };
    const Case cases[] = {
        {"missing.obj", false, "cannot open model"},
        {"missing.obj", true, "cannot open model"},
        {"garbage.xyz", true, "cannot read model"},
        {"garbage.xyz", false, "cannot read model"},
        {"points.obj", true, "holds no triangle meshes"},
        {"points.obj", false, "holds no triangle meshes"},
    };
    for (const Case& c : cases) {
        Vesperon app;
        std::string error;
        StartupTimes times;
        EXPECT_EQ(StartApp(app, dir.File(c.file), c.timed ? &times : nullptr, &error), -1);
        // The check before the engine starts refuses each and says why.
        const std::string said = error + capture.Text();
        EXPECT_NE(said.find(c.reason), std::string::npos) << c.file << ": " << error;
        EXPECT_NE(error.find(c.file), std::string::npos) << "the message names the model";
        EXPECT_EQ(app.mWindow, nullptr) << "refused before a window opens";
        EXPECT_EQ(app.mMeshes, nullptr) << "refused before the demo's loader ran";
        app.Shutdown();
    }
}

// A model without meshes is an empty scene for the tools as for the demo:
// started, timed, with nothing under the root and the eye where it starts.
TEST(AppStart, StartsAModelWithoutMeshesAsAnEmptyScene) {
    LogCapture capture;
    TempDir dir("appstart");
    ASSERT_TRUE(dir.Write("comments.obj", "# only a comment\n"));
    for (bool timed : {true, false}) {
        SCOPED_TRACE(timed ? "timed" : "untimed");
        Vesperon app;
        std::string error;
        StartupTimes times;
        ASSERT_EQ(StartApp(app, dir.File("comments.obj"), timed ? &times : nullptr, &error), 0)
            << error << capture.Text();
        SceneSummary scene = Summarise(app);
        EXPECT_EQ(scene.nodes, 0u);
        EXPECT_NE(app.mMeshes, nullptr) << "an empty mesh array is still handed out";
        EXPECT_NE(app.mSceneProgram.program, 0u);
        if (timed) {
            EXPECT_EQ(times.textureCount, 0);
        }
        app.Shutdown();
    }
    EXPECT_TRUE(capture.ContainsFragment("holds no meshes: the scene is empty"));
}
