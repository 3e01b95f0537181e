// Fetch floor: the least an occlusion pass with N samples can cost on this
// machine. Per covered pixel it reads N G-buffer position texels scattered
// within fetchRadius pixels, as the occlusion pass reads one texel per
// sample around the pixel, and does nothing else with them. Pixels without
// geometry read nothing more than the normal that tells them so, like the
// occlusion pass.
//
// The offsets follow a golden-angle spiral: sample i lies at radius
// R sqrt((i + 0.5) / N), which spreads the N points evenly over the disc of
// radius R, at angle i * 2.39996 (the golden angle, so no two line up). A
// per-pixel turn taken from a 4 x 4 tile, like the occlusion pass's noise
// tile, keeps neighbouring pixels from reading the same texels.
//
// The sum of every fetched value is written out, so no fetch can be dropped
// by the compiler as unused.

in vec2 vTexCoord;

uniform sampler2D texGPosition;
uniform sampler2D texGNormal;
uniform int fetchCount;
uniform float fetchRadius; // pixels

out float fragOcclusion;

const float kGoldenAngle = 2.39996323;
const float kTileTurn = 0.39269908; // 2 pi / 16: one step of the 4 x 4 tile

void main() {
    vec3 N = texture(texGNormal, vTexCoord).xyz;
    if (dot(N, N) <= 0.25) {
        fragOcclusion = 1.0; // no geometry: nothing to read
        return;
    }
    vec2 texel = 1.0 / vec2(textureSize(texGPosition, 0));
    ivec2 tile = ivec2(gl_FragCoord.xy) & 3;
    float turn = float(tile.x * 4 + tile.y) * kTileTurn;
    float count = float(max(fetchCount, 1));
    vec4 sum = vec4(0.0);
    for (int i = 0; i < fetchCount; ++i) {
        float r = fetchRadius * sqrt((float(i) + 0.5) / count);
        float a = float(i) * kGoldenAngle + turn;
        sum += texture(texGPosition, vTexCoord + r * vec2(cos(a), sin(a)) * texel);
    }
    fragOcclusion = fract(dot(sum, vec4(1.0)));
}
