// Text: glyph quads laid out in window pixels, textured from the font atlas.
//
// Attribute 0 carries the whole 16-bit text vertex unnormalised, so the values
// arrive as plain numbers: (x, y) in pixels from the text's top-left corner,
// (u, v) in atlas texels with row 0 at the top.

layout(location = 0) in vec4 vertex;

uniform mat4 modelMatrix; // moves the text's origin to its window position
uniform mat4 projMatrix;  // window pixels (y down) to clip space

// Texel coordinates, turned into [0, 1] UVs per fragment where the atlas
// size is known.
out vec2 texel;

void main() {
    texel = vertex.zw;
    gl_Position = projMatrix * modelMatrix * vec4(vertex.xy, 0.0, 1.0);
}
