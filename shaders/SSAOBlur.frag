// Blur pass: averages the raw occlusion over a 4 x 4 box. The occlusion pass
// turns its kernel by one of sixteen rotations, repeating every 4 pixels in x
// and in y, so every such box holds each rotation exactly once and the
// average no longer depends on which rotation a pixel got: the tile pattern
// cancels out. A box of even width has no centre texel; offsets -2..1 cover
// it with the pixel itself in the third row and column.
//
// Where the driver offers texture gather, the sixteen texels are read as four
// 2 x 2 gathers: a gather at a point shared by four texel corners returns
// exactly those four texels, with the sampler's clamp-to-edge repeating the
// border ones. Four texture operations instead of sixteen. Without it, the
// same texels are fetched one by one, clamped to the texture the way the
// sampler clamps. Both paths give the same bits (see Average).
//
// Only the occlusion reaches this pass (the program's one sampler stays at
// unit 0, where the pass binds it), so the box cannot tell a silhouette from
// a crease; 4 x 4 is the least that cancels the tile, which keeps the smear
// to two pixels.

#ifdef GL_ARB_texture_gather
#extension GL_ARB_texture_gather : enable
#endif

uniform sampler2D texSSAO;

out float fragOcclusion;

const float kBoxTexels = 16.0;
const float kLevels = 255.0; // the occlusion textures hold 8-bit unsigned values

// Every texel is a whole number k of 1/255 steps, read back as k/255 rounded
// to a float (relative error 2^-24). Fifteen additions of values below 16
// each add at most half a float step at 16, 2^-20, so in any order the sum is
// within 15 * 2^-20 * 255 < 0.004 steps of the whole number that is its
// exact value, and rounding to that number undoes the order of the
// additions, which differs between the two read paths (and between
// compilers). Dividing it by 16 * 255 then gives one float per box, whichever
// path read it.
float Average(vec4 sum) {
    float steps = floor(dot(sum, vec4(1.0)) * kLevels + 0.5);
    return steps / (kBoxTexels * kLevels);
}

#ifdef GL_ARB_texture_gather

float BoxAverage(vec2 centre) {
    vec2 texel = 1.0 / vec2(textureSize(texSSAO, 0));
    // The 2 x 2 blocks at offsets -2 and 0 (in each axis) have their shared
    // corners at x - 1 and x + 1.
    vec4 sum = textureGather(texSSAO, (centre + vec2(-1.0, -1.0)) * texel) +
               textureGather(texSSAO, (centre + vec2(1.0, -1.0)) * texel) +
               textureGather(texSSAO, (centre + vec2(-1.0, 1.0)) * texel) +
               textureGather(texSSAO, (centre + vec2(1.0, 1.0)) * texel);
    return Average(sum);
}

#else

// texelFetch does not clamp (a texel outside the texture is undefined), so
// the coordinates are clamped here, as clamp-to-edge does for the gathers.
float Fetch(ivec2 texel, ivec2 last) {
    return texelFetch(texSSAO, clamp(texel, ivec2(0), last), 0).r;
}

float BoxAverage(vec2 centre) {
    ivec2 origin = ivec2(centre) - ivec2(2);
    ivec2 last = textureSize(texSSAO, 0) - ivec2(1);
    vec4 sum = vec4(0.0);
    for (int row = 0; row < 4; ++row) {
        sum += vec4(Fetch(origin + ivec2(0, row), last), Fetch(origin + ivec2(1, row), last),
                    Fetch(origin + ivec2(2, row), last), Fetch(origin + ivec2(3, row), last));
    }
    return Average(sum);
}

#endif

void main() {
    // gl_FragCoord is the pixel centre (x + 0.5, y + 0.5).
    fragOcclusion = BoxAverage(floor(gl_FragCoord.xy));
}
