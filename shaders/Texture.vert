// Texture: a textured quad placed directly in clip space (debug views).
//
// Attribute 0 is the quad corner (x, y) in clip space and its (u, v). z = 0
// maps to the middle of the depth range, so the quad passes a depth test
// against a cleared buffer.

layout(location = 0) in vec4 vertex;

uniform mat4 modelMatrix; // scales and moves the quad to its place on screen

out vec2 uv;

void main() {
    uv = vertex.zw;
    gl_Position = modelMatrix * vec4(vertex.xy, 0.0, 1.0);
}
