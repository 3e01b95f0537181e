// Full-screen pass, vertex stage (shared by occlusion, blur and lighting):
// the quad arrives as (x, y, u, v) in clip space already, so it is placed on
// the near/far mid-plane (z = 0, depth 0.5, inside the depth range) and its
// texture coordinate is handed on.

layout(location = 0) in vec4 inQuad;

out vec2 vTexCoord;

void main() {
    vTexCoord = inQuad.zw;
    gl_Position = vec4(inQuad.xy, 0.0, 1.0);
}
