// Camera: eye position and orientation, the look-at view matrix, the fixed
// perspective projection and the damped fly-through motion step.
#pragma once

#include <glm/glm.hpp>

constexpr float kDegToRad = 0.017453292f;
constexpr float kPitchLimit = 89.9f;

class Camera {
public:
    Camera();
    virtual ~Camera() = default;

    void UpdateVectors();
    glm::mat4 GetViewMatrix() const;

    glm::vec3 mWorldUp;
    glm::vec3 mFront;
    glm::vec3 mUp;
    glm::vec3 mRight;
    glm::vec3 mPosition;
    float mPitch;
    float mYaw;
};

// The demo's perspective for a window of width x height.
glm::mat4 MakeProjection(float width, float height);

// Advances the damped motion by dt seconds and places the camera. With
// dt <= 0 nothing moves (no division by zero).
void MotionStep(glm::vec3& previous, glm::vec3& current, float moveForward, float moveRight,
                Camera& camera, float dt);

float ClampPitch(float pitch);

// Pitch and yaw in degrees, as the camera measures them, of a direction (yaw
// from +x towards +z, pitch up from the horizontal). False for a zero or
// non-finite direction.
bool DirectionToAngles(const glm::vec3& dir, float* pitchDegrees, float* yawDegrees);
// The direction the camera looks along for dir: dir itself, or, when dir is
// steeper than the pitch limit, the unit vector held at that limit (so that
// what is printed is what is measured).
glm::vec3 UsedDirection(const glm::vec3& dir);
// The view matrix the camera builds when placed at eye looking along dir.
glm::mat4 AimedViewMatrix(const glm::vec3& eye, const glm::vec3& dir);
