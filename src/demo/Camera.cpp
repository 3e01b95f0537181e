// Camera: derives the view basis and look-at matrix from the eye position and
// the pitch/yaw angles, builds the demo's projection, and steps the damped
// fly-through motion.
#include "demo/Camera.h"

#include <cassert>
#include <cmath>

#include <glm/gtc/matrix_transform.hpp>

namespace {

constexpr float kRadToDeg = 57.29577951f;

constexpr float kDefaultYaw = -90.0f; // looks down -z until the demo sets its own angles

// The demo's look is tuned to this value passed as radians (45 radians, a
// vertical field of view of about 58.31 degrees), not to 45 degrees.
constexpr float kFieldOfView = 45.0f;
constexpr float kNearPlane = 1.0f;
constexpr float kFarPlane = 500.0f;

constexpr float kAcceleration = 100.0f; // units per second squared at full input
// Verlet with damping: next = x + 0.99 (x - previous) + a dt^2, i.e.
// 1.99 x - 0.99 previous; each step keeps 99 % of the last displacement.
constexpr float kCurrentWeight = 1.99f;
constexpr float kPreviousWeight = 0.99f;
// Squared speeds: above 20^2 the velocity is scaled by 400 / s^2, so its
// speed becomes 400 / s (just under 20 for s just over 20); below 0.02 a
// camera without input stops dead instead of creeping on for ever.
constexpr float kMaxSpeedSquared = 400.0f;
constexpr float kStopSpeedSquared = 0.02f;

// Multiplies by the reciprocal of the length, as the view basis is defined.
glm::vec3 Normalise(const glm::vec3& v) {
    return v * (1.0f / glm::length(v));
}

} // namespace

Camera::Camera()
    : mWorldUp(0.0f, 1.0f, 0.0f), mFront(0.0f, 0.0f, -1.0f), mUp(0.0f, 1.0f, 0.0f),
      mRight(1.0f, 0.0f, 0.0f), mPosition(0.0f), mPitch(0.0f), mYaw(kDefaultYaw) {
    UpdateVectors();
}

// Spherical angles to a direction: yaw turns from +x towards +z in the
// horizontal plane, pitch lifts towards +y, so
// front = (cos yaw cos pitch, sin pitch, sin yaw cos pitch).
void Camera::UpdateVectors() {
    const float pitch = mPitch * kDegToRad;
    const float yaw = mYaw * kDegToRad;
    const glm::vec3 front(std::cos(yaw) * std::cos(pitch), std::sin(pitch),
                          std::sin(yaw) * std::cos(pitch));
    mFront = Normalise(front);
    // Right-handed: front x up points right. It vanishes only when front is
    // parallel to world up, which the pitch limit prevents.
    mRight = Normalise(glm::cross(mFront, mWorldUp));
    mUp = Normalise(glm::cross(mRight, mFront));
}

glm::mat4 Camera::GetViewMatrix() const {
    return glm::lookAt(mPosition, mPosition + mFront, mUp);
}

glm::mat4 MakeProjection(float width, float height) {
    assert(width > 0.0f && height > 0.0f && "the aspect ratio needs a non-empty window");
    return glm::perspective(kFieldOfView, width / height, kNearPlane, kFarPlane);
}

void MotionStep(glm::vec3& previous, glm::vec3& current, float moveForward, float moveRight,
                Camera& camera, float dt) {
    // The velocity below divides by dt; a frame without elapsed time (or a
    // NaN step) leaves the motion where it is.
    if (!(dt > 0.0f)) {
        camera.mPosition = current;
        return;
    }
    const glm::vec3 acceleration =
        moveForward * camera.mFront * kAcceleration + moveRight * camera.mRight * kAcceleration;
    const glm::vec3 next =
        current * kCurrentWeight - previous * kPreviousWeight + acceleration * dt * dt;
    // From rest one step reaches a speed of 100 dt at full input: under the
    // stop threshold above about 700 frames a second, and at any rate for a
    // gentle touch input. The dead stop therefore only ends coasting without
    // input, or such a camera could never start moving.
    glm::vec3 velocity = (next - current) / dt;
    const float speedSquared = glm::dot(velocity, velocity);
    if (speedSquared > kMaxSpeedSquared)
        velocity *= kMaxSpeedSquared / speedSquared;
    else if (speedSquared < kStopSpeedSquared && moveForward == 0.0f && moveRight == 0.0f)
        velocity = glm::vec3(0.0f);
    const glm::vec3 moved = current + velocity * dt;
    camera.mPosition = moved;
    previous = current;
    current = moved;
}

// Written so that a NaN fails the first comparison and lands on the limit.
float ClampPitch(float pitch) {
    pitch = pitch < kPitchLimit ? pitch : kPitchLimit;
    return pitch > -kPitchLimit ? pitch : -kPitchLimit;
}

// The camera builds front = (cos yaw cos pitch, sin pitch, sin yaw cos pitch)
// (see UpdateVectors); inverting that for a unit direction d gives
// pitch = asin(d.y) and yaw = atan2(d.z, d.x).
bool DirectionToAngles(const glm::vec3& dir, float* pitchDegrees, float* yawDegrees) {
    float length = glm::length(dir);
    if (!std::isfinite(length) || !(length > 0.0f))
        return false;
    glm::vec3 d = dir / length;
    *pitchDegrees = std::asin(glm::clamp(d.y, -1.0f, 1.0f)) * kRadToDeg;
    *yawDegrees = std::atan2(d.z, d.x) * kRadToDeg;
    return true;
}

glm::vec3 UsedDirection(const glm::vec3& dir) {
    float pitch = 0.0f, yaw = 0.0f;
    bool aimed = DirectionToAngles(dir, &pitch, &yaw);
    assert(aimed && "directions are checked when the options are parsed");
    if (!aimed || ClampPitch(pitch) == pitch)
        return dir;
    Camera camera;
    camera.mPitch = ClampPitch(pitch);
    camera.mYaw = yaw;
    camera.UpdateVectors();
    return camera.mFront;
}

glm::mat4 AimedViewMatrix(const glm::vec3& eye, const glm::vec3& dir) {
    float pitch = 0.0f, yaw = 0.0f;
    bool aimed = DirectionToAngles(dir, &pitch, &yaw);
    assert(aimed && "directions are checked when the options are parsed");
    (void)aimed;
    Camera camera;
    camera.mPosition = eye;
    camera.mPitch = ClampPitch(pitch);
    camera.mYaw = yaw;
    camera.UpdateVectors();
    return camera.GetViewMatrix();
}
