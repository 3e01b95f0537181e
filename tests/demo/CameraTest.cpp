// Camera: the view basis from the angles, the look-at and projection
// matrices, the pitch clamp and the damped, speed-capped motion step.
#include "demo/Camera.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

constexpr float kTolerance = 1e-5f;

void ExpectNear(const glm::vec3& actual, const glm::vec3& expected, float tolerance = kTolerance) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

float Speed(const glm::vec3& previous, const glm::vec3& current, float dt) {
    return glm::length(current - previous) / dt;
}

Camera Looking(float pitch, float yaw) {
    Camera camera;
    camera.mPitch = pitch;
    camera.mYaw = yaw;
    camera.UpdateVectors();
    return camera;
}

TEST(Camera, StartsAtTheOriginLookingDownNegativeZ) {
    Camera camera;
    ExpectNear(camera.mPosition, glm::vec3(0.0f));
    ExpectNear(camera.mFront, glm::vec3(0.0f, 0.0f, -1.0f));
    ExpectNear(camera.mRight, glm::vec3(1.0f, 0.0f, 0.0f));
    ExpectNear(camera.mUp, glm::vec3(0.0f, 1.0f, 0.0f));
    EXPECT_EQ(camera.mWorldUp, glm::vec3(0.0f, 1.0f, 0.0f));
    EXPECT_EQ(camera.mPitch, 0.0f);
    EXPECT_EQ(camera.mYaw, -90.0f);
}

TEST(Camera, YawTurnsFromXTowardsZAndPitchLiftsTowardsY) {
    ExpectNear(Looking(0.0f, 0.0f).mFront, glm::vec3(1.0f, 0.0f, 0.0f));
    ExpectNear(Looking(0.0f, 0.0f).mRight, glm::vec3(0.0f, 0.0f, 1.0f));
    ExpectNear(Looking(0.0f, 90.0f).mFront, glm::vec3(0.0f, 0.0f, 1.0f));
    ExpectNear(Looking(0.0f, 360.0f).mFront, Looking(0.0f, 0.0f).mFront);
    const Camera tilted = Looking(30.0f, 45.0f);
    const float c = std::cos(0.5235988f);
    ExpectNear(tilted.mFront, glm::vec3(0.7071068f * c, 0.5f, 0.7071068f * c));
    // An orthonormal basis.
    EXPECT_NEAR(glm::dot(tilted.mFront, tilted.mRight), 0.0f, kTolerance);
    EXPECT_NEAR(glm::dot(tilted.mUp, tilted.mRight), 0.0f, kTolerance);
    EXPECT_NEAR(glm::length(tilted.mUp), 1.0f, kTolerance);
    EXPECT_EQ(tilted.mRight.y, 0.0f);
}

TEST(Camera, PitchClampKeepsTheRightVectorDefinedNearStraightUp) {
    EXPECT_EQ(ClampPitch(95.0f), kPitchLimit);
    EXPECT_EQ(ClampPitch(-120.0f), -kPitchLimit);
    EXPECT_EQ(ClampPitch(45.0f), 45.0f);
    EXPECT_EQ(ClampPitch(std::numeric_limits<float>::quiet_NaN()), kPitchLimit);
    const Camera up = Looking(ClampPitch(90.0f), 0.0f);
    EXPECT_GT(up.mFront.y, 0.9999f);
    ExpectNear(up.mRight, glm::vec3(0.0f, 0.0f, 1.0f));
    EXPECT_TRUE(std::isfinite(up.mUp.x) && std::isfinite(up.mUp.y) && std::isfinite(up.mUp.z));
}

TEST(Camera, ViewMatrixHasTheBasisAsRowsAndMovesTheEyeToTheOrigin) {
    Camera camera = Looking(20.0f, 130.0f);
    camera.mPosition = glm::vec3(3.0f, -2.0f, 7.0f);
    const glm::mat4 view = camera.GetViewMatrix();
    const glm::vec3 s = glm::normalize(glm::cross(camera.mFront, camera.mUp));
    const glm::vec3 u = glm::cross(s, camera.mFront);
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(view[i][0], s[i], kTolerance);
        EXPECT_NEAR(view[i][1], u[i], kTolerance);
        EXPECT_NEAR(view[i][2], -camera.mFront[i], kTolerance);
        EXPECT_EQ(view[i][3], 0.0f);
    }
    // Right-handed: the eye goes to the origin and the view direction to -z.
    ExpectNear(glm::vec3(view * glm::vec4(camera.mPosition, 1.0f)), glm::vec3(0.0f));
    ExpectNear(glm::vec3(view * glm::vec4(camera.mPosition + camera.mFront, 1.0f)),
               glm::vec3(0.0f, 0.0f, -1.0f));
}

// 45 handed over as radians: t = tan(22.5 rad) ~ 0.557852.
TEST(Camera, ProjectionFor1440By900UsesFortyFiveRadians) {
    const glm::mat4 projection = MakeProjection(1440.0f, 900.0f);
    EXPECT_NEAR(projection[0][0], 1.120369f, 1e-5f);
    EXPECT_NEAR(projection[1][1], 1.792591f, 1e-5f);
    EXPECT_NEAR(projection[2][2], -1.004008f, 1e-6f);
    EXPECT_EQ(projection[2][3], -1.0f);
    EXPECT_NEAR(projection[3][2], -2.004008f, 1e-6f);
    int zeros = 0;
    for (int column = 0; column < 4; ++column)
        for (int row = 0; row < 4; ++row)
            zeros += projection[column][row] == 0.0f;
    EXPECT_EQ(zeros, 11);
}

// A speed over 20 is scaled by 400 / s^2, not to 20: from rest, one 0.4 s
// step at full forward input would reach 40 and is brought to 10.
TEST(Camera, OverspeedIsScaledByFourHundredOverSpeedSquared) {
    Camera camera = Looking(0.0f, 0.0f);
    const glm::vec3 start(0.0f, 10.0f, 0.0f);
    glm::vec3 previous = start;
    glm::vec3 current = start;
    MotionStep(previous, current, 1.0f, 0.0f, camera, 0.4f);
    ExpectNear(current, glm::vec3(4.0f, 10.0f, 0.0f), 1e-4f);
    EXPECT_EQ(previous, start);
    EXPECT_EQ(camera.mPosition, current);
}

// Held forward the speed climbs by 100 dt a frame until the cap folds it back
// under 20; released, it decays by 1 % a frame and then stops dead.
TEST(Camera, HoldingForwardSettlesJustBelowTwentyAndReleasingStopsDead) {
    for (float dt : {1.0f / 60.0f, 1.0f / 300.0f}) {
        Camera camera = Looking(0.0f, 0.0f);
        glm::vec3 previous(0.0f, 10.0f, 0.0f);
        glm::vec3 current = previous;
        float speed = 0.0f;
        for (int frame = 0; frame < 3000; ++frame) {
            MotionStep(previous, current, 1.0f, 0.0f, camera, dt);
            speed = Speed(previous, current, dt);
            ASSERT_LT(speed, 20.0f + 1e-3f) << "frame " << frame << " dt " << dt;
        }
        EXPECT_GT(speed, dt < 0.01f ? 19.6f : 18.5f) << dt;
        ExpectNear(glm::vec3(0.0f, current.y, current.z), glm::vec3(0.0f, 10.0f, 0.0f), 1e-3f);

        // Motion does not depend on where it happens; moving the origin to
        // the eye keeps the small late displacements well above float rounding.
        previous -= current;
        current = glm::vec3(0.0f);
        float last = speed;
        int frame = 0;
        for (; frame < 5000 && speed > 0.0f; ++frame) {
            last = speed;
            MotionStep(previous, current, 0.0f, 0.0f, camera, dt);
            speed = Speed(previous, current, dt);
            if (speed > 1.0f) {
                ASSERT_NEAR(speed / last, 0.99f, 1e-3f) << "frame " << frame;
            }
        }
        ASSERT_EQ(speed, 0.0f) << dt;
        EXPECT_GE(last * last, 0.02f * 0.99f);
        EXPECT_LT(last * 0.99f * last * 0.99f, 0.02f * 1.01f);
        const glm::vec3 stopped = current;
        for (int more = 0; more < 10; ++more)
            MotionStep(previous, current, 0.0f, 0.0f, camera, dt);
        EXPECT_EQ(current, stopped);
        EXPECT_EQ(camera.mPosition, stopped);
    }
}

// A first step far below the stop speed (a gentle touch, or a very high frame
// rate) must still get the camera going, along the right vector here.
TEST(Camera, SlowInputFromRestStillMoves) {
    Camera camera = Looking(0.0f, 0.0f);
    glm::vec3 previous(0.0f);
    glm::vec3 current(0.0f);
    MotionStep(previous, current, 0.0f, -0.05f, camera, 1.0f / 60.0f);
    ASSERT_GT(glm::length(current), 0.0f);
    ExpectNear(glm::normalize(current), -camera.mRight);
}

TEST(Camera, StepWithoutElapsedTimeLeavesTheMotionAlone) {
    Camera camera;
    const glm::vec3 before(1.0f, 10.0f, 0.0f);
    const glm::vec3 now(2.0f, 10.0f, 0.0f);
    for (float dt : {0.0f, -0.016f, std::numeric_limits<float>::quiet_NaN()}) {
        glm::vec3 previous = before;
        glm::vec3 current = now;
        MotionStep(previous, current, 1.0f, 1.0f, camera, dt);
        EXPECT_EQ(previous, before) << dt;
        EXPECT_EQ(current, now) << dt;
        EXPECT_EQ(camera.mPosition, now) << dt;
    }
}

} // namespace

TEST(CameraAim, DirectionsTurnIntoTheCamerasPitchAndYaw) {
    float pitch = 0.0f, yaw = 0.0f;
    ASSERT_TRUE(DirectionToAngles(glm::vec3(1.0f, 0.0f, 0.0f), &pitch, &yaw));
    EXPECT_NEAR(pitch, 0.0f, 1e-5f);
    EXPECT_NEAR(yaw, 0.0f, 1e-5f);
    ASSERT_TRUE(DirectionToAngles(glm::vec3(0.0f, 0.0f, -3.0f), &pitch, &yaw));
    EXPECT_NEAR(yaw, -90.0f, 1e-4f) << "the camera's own default direction";
    ASSERT_TRUE(DirectionToAngles(glm::vec3(0.0f, 1.0f, 1.0f), &pitch, &yaw));
    EXPECT_NEAR(pitch, 45.0f, 1e-4f);
    EXPECT_NEAR(yaw, 90.0f, 1e-4f);
    EXPECT_FALSE(DirectionToAngles(glm::vec3(0.0f), &pitch, &yaw));
    EXPECT_FALSE(DirectionToAngles(glm::vec3(NAN, 0.0f, 1.0f), &pitch, &yaw));

    // Round trip through the camera for directions all round.
    for (const glm::vec3& dir : {glm::vec3(1.0f, 0.0f, 0.0f), glm::vec3(1.0f, -0.25f, 0.6f),
                                 glm::vec3(0.0f, 1.1f, 1.0f), glm::vec3(1.0f, -0.06f, -0.1f),
                                 glm::vec3(-0.7f, 0.55f, 0.6f), glm::vec3(1.0f, -0.1f, 0.05f)}) {
        ASSERT_TRUE(DirectionToAngles(dir, &pitch, &yaw));
        Camera camera;
        camera.mPitch = pitch;
        camera.mYaw = yaw;
        camera.UpdateVectors();
        ExpectNear(camera.mFront, glm::normalize(dir), 1e-5f);
    }
}
