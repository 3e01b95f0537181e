// Geometry pass, fragment stage: writes the G-buffer. Blending is on during
// this pass (src alpha, 1 - src alpha) over a cleared buffer, so every output
// has alpha 1: then dst = 1 * src + 0 * dst, the value exactly as written.

in vec3 vViewPosition;
in vec3 vViewNormal;
in vec2 vTexCoord;
in vec4 vColor;

uniform sampler2D texDiffuse;

layout(location = 0) out vec4 outPosition;
layout(location = 1) out vec4 outNormal;
layout(location = 2) out vec4 outAlbedo;

// Cut-out textures (foliage, chains) mark holes with alpha; half way is the edge.
const float kAlphaCutoff = 0.5;
const float kTiny = 1e-4;

// A mesh without normals reads GL's generic value (0, 0, 0) for them; the
// face normal is then rebuilt from how the view-space position changes
// across the screen. Both derivatives lie in the face's plane, and
// dFdx x dFdy points toward the camera for the front faces that survive
// culling. Derivatives are only defined in uniform control flow, so the
// caller takes them before any branch or discard and passes the face normal in.
vec3 ViewNormal(vec3 faceNormal) {
    if (dot(vViewNormal, vViewNormal) > kTiny * kTiny)
        return normalize(vViewNormal);
    return faceNormal;
}

void main() {
    // vTexCoord already measures t from the image's top row (the vertex
    // stage turned the model's bottom-up v around).
    vec4 texel = texture(texDiffuse, vTexCoord);
    vec3 faceNormal = normalize(cross(dFdx(vViewPosition), dFdy(vViewPosition)));
    if (texel.a < kAlphaCutoff)
        discard;
    outPosition = vec4(vViewPosition, 1.0);
    outNormal = vec4(ViewNormal(faceNormal), 1.0);
    // Colours are used as they arrive: a mesh without them is drawn with
    // the generic colour set to white, so black vertex colours stay black.
    outAlbedo = vec4(texel.rgb * vColor.rgb, 1.0);
}
