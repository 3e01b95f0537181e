// Blur pass: averages the raw occlusion over a 4 x 4 box. The occlusion pass
// turns its kernel by one of sixteen rotations, repeating every 4 pixels in x
// and in y, so every such box holds each rotation exactly once and the
// average no longer depends on which rotation a pixel got: the tile pattern
// cancels out. A box of even width has no centre texel; offsets -2..1 cover
// it with the pixel itself in the third row and column.
//
// The sixteen texels are read as four 2 x 2 gathers: a gather at a point
// shared by four texel corners returns exactly those four texels, with the
// sampler's clamp-to-edge repeating the border ones. Four texture operations
// instead of sixteen.
//
// Only the occlusion reaches this pass (the program's one sampler stays at
// unit 0, where the pass binds it), so the box cannot tell a silhouette from
// a crease; 4 x 4 is the least that cancels the tile, which keeps the smear
// to two pixels.

#extension GL_ARB_texture_gather : require

uniform sampler2D texSSAO;

out float fragOcclusion;

const float kBoxTexels = 16.0;

void main() {
    vec2 texel = 1.0 / vec2(textureSize(texSSAO, 0));
    // gl_FragCoord is the pixel centre (x + 0.5, y + 0.5). The 2 x 2 blocks
    // at offsets -2 and 0 (in each axis) have their shared corners at
    // x - 1 and x + 1.
    vec2 centre = floor(gl_FragCoord.xy);
    vec4 sum = textureGather(texSSAO, (centre + vec2(-1.0, -1.0)) * texel) +
               textureGather(texSSAO, (centre + vec2(1.0, -1.0)) * texel) +
               textureGather(texSSAO, (centre + vec2(-1.0, 1.0)) * texel) +
               textureGather(texSSAO, (centre + vec2(1.0, 1.0)) * texel);
    fragOcclusion = dot(sum, vec4(1.0)) / kBoxTexels;
}
