// Fetch floor: the least an occlusion pass with N samples can cost on this
// machine. Per covered pixel it reads what the occlusion pass must read
// before its sample loop (the normal, which tells whether anything was drawn,
// and the position), then N G-buffer position texels scattered over the
// pixel's own occlusion footprint, and does nothing else with them. Pixels
// without geometry read nothing more, like the occlusion pass.
//
// Footprint: a view-space length r at depth -z spans r * P11 / -z in
// normalised device units (P11 = projMatrix[1][1]), i.e. half a target
// height per unit, so ssaoRadius covers
//   R = ssaoRadius * P11 / -z * height / 2   pixels,
// the disc the occlusion pass's samples land in.
//
// The offsets follow a golden-angle spiral: sample i lies at radius
// R sqrt((i + 0.5) / N), which spreads the N points evenly over the disc, at
// angle i * 2.39996 (the golden angle, so no two line up). A per-pixel turn
// taken from a 4 x 4 tile, like the occlusion pass's noise tile, keeps
// neighbouring pixels from reading the same texels.
//
// The sum of every fetched value is written out, so no fetch can be dropped
// by the compiler as unused.

in vec2 vTexCoord;

uniform sampler2D texGPosition;
uniform sampler2D texGNormal;
uniform float ssaoRadius;
uniform mat4 projMatrix;
uniform int ssaoKernelSize; // the fetch count: the kernel size the frame is measured at

out float fragOcclusion;

const float kGoldenAngle = 2.39996323;
const float kTileTurn = 0.39269908; // 2 pi / 16: one step of the 4 x 4 tile
const float kMinDepth = 1.0;        // the near plane: nothing drawn is closer

void main() {
    vec3 N = texture(texGNormal, vTexCoord).xyz;
    if (dot(N, N) <= 0.25) {
        fragOcclusion = 1.0; // no geometry: nothing to read
        return;
    }
    vec3 P = texture(texGPosition, vTexCoord).xyz;
    vec2 size = vec2(textureSize(texGPosition, 0));
    float reach = ssaoRadius * projMatrix[1][1] / max(-P.z, kMinDepth) * 0.5 * size.y;
    ivec2 tile = ivec2(gl_FragCoord.xy) & 3;
    float turn = float(tile.x * 4 + tile.y) * kTileTurn;
    float count = float(max(ssaoKernelSize, 1));
    vec4 sum = vec4(P, 0.0);
    for (int i = 0; i < ssaoKernelSize; ++i) {
        float r = reach * sqrt((float(i) + 0.5) / count);
        float a = float(i) * kGoldenAngle + turn;
        sum += texture(texGPosition, vTexCoord + r * vec2(cos(a), sin(a)) / size);
    }
    fragOcclusion = fract(dot(sum, vec4(1.0)));
}
