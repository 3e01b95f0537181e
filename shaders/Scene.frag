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

// A mesh without a colour buffer leaves attribute 1 disabled, and the shader
// then reads GL's current generic value (0, 0, 0, 1): taken literally that
// would multiply every such mesh to black. Imported colours of exactly black
// with full opacity would be a useless modulator, so that value is read as
// "no colour" and the tint is white. The interpolated value of a constant is
// exact up to rounding of the barycentric weights, hence the tolerance.
vec3 VertexTint() {
    bool noColour = all(lessThan(abs(vColor.rgb), vec3(kTiny))) && abs(vColor.a - 1.0) < kTiny;
    return noColour ? vec3(1.0) : vColor.rgb;
}

// A mesh without normals reads (0, 0, 0) as well; the face normal is then
// rebuilt from how the view-space position changes across the screen. Both
// derivatives lie in the face's plane, and dFdx x dFdy points toward the
// camera for the front faces that survive culling. Derivatives are only
// defined in uniform control flow, so the caller takes them before any
// branch or discard and passes the face normal in.
vec3 ViewNormal(vec3 faceNormal) {
    if (dot(vViewNormal, vViewNormal) > kTiny * kTiny)
        return normalize(vViewNormal);
    return faceNormal;
}

void main() {
    // Texture coordinates are used as imported: neither the model nor the
    // images are flipped, so the two already agree.
    vec4 texel = texture(texDiffuse, vTexCoord);
    vec3 faceNormal = normalize(cross(dFdx(vViewPosition), dFdy(vViewPosition)));
    if (texel.a < kAlphaCutoff)
        discard;
    outPosition = vec4(vViewPosition, 1.0);
    outNormal = vec4(ViewNormal(faceNormal), 1.0);
    outAlbedo = vec4(texel.rgb * VertexTint(), 1.0);
}
