// TraceCamera: the tracer tests' camera.
#include "support/TraceCamera.h"

#include <glm/gtc/matrix_transform.hpp>

#include "demo/Camera.h"

CameraSetup TraceCameraLookingAt(glm::vec3 eye, glm::vec3 centre) {
    CameraSetup camera;
    camera.view = glm::lookAt(eye, centre, glm::vec3(0, 0, -1));
    camera.proj = MakeProjection(float(kTraceTestWidth), float(kTraceTestHeight));
    camera.width = kTraceTestWidth;
    camera.height = kTraceTestHeight;
    return camera;
}
