// TraceCamera: the small camera the tracer's tests look through, straight
// down (-z up on screen) at the demo's projection.
#pragma once

#include <glm/glm.hpp>

#include "ssao/AoTrace.h"

constexpr int kTraceTestWidth = 40;
constexpr int kTraceTestHeight = 30;

CameraSetup TraceCameraLookingAt(glm::vec3 eye, glm::vec3 centre);
