// Geometry pass, vertex stage: moves mesh vertices into view space, where the
// G-buffer keeps positions and normals (projMatrix alone then maps a stored
// position to clip space, which the occlusion pass relies on).

layout(location = 0) in vec3 inPosition;
layout(location = 1) in vec4 inColor;
layout(location = 2) in vec2 inTexCoord;
layout(location = 3) in vec3 inNormal;

uniform mat4 modelMatrix;
uniform mat4 viewMatrix;
uniform mat4 projMatrix;

out vec3 vViewPosition;
out vec3 vViewNormal;
out vec2 vTexCoord;
out vec4 vColor;

void main() {
    mat4 modelView = viewMatrix * modelMatrix;
    vec4 viewPosition = modelView * vec4(inPosition, 1.0);
    vViewPosition = viewPosition.xyz;
    // A normal n must stay perpendicular to every tangent t after the map M
    // (the upper 3x3 of modelView): we need n'.(M t) = 0 for all t with
    // n.t = 0. Taking n' = N n gives n^T N^T M t = 0, which holds for
    // N^T M = I, i.e. N = transpose(inverse(M)). For a rotation N = M; the
    // inverse matters once the scene is scaled non-uniformly.
    vViewNormal = transpose(inverse(mat3(modelView))) * inNormal;
    // Model files put v = 0 at the image's bottom row, and images are
    // uploaded top row first (GL's t = 0), so t = 1 - v.
    vTexCoord = vec2(inTexCoord.x, 1.0 - inTexCoord.y);
    vColor = inColor;
    gl_Position = projMatrix * viewPosition;
}
