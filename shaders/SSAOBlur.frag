// Blur pass: smooths the raw occlusion so that the 4 x 4 noise tile of the
// occlusion pass cancels, without moving edges.
//
// The occlusion pass turns its kernel by one of sixteen rotations, repeating
// every 4 pixels in x and in y. A filter cancels that pattern exactly when
// its weights, summed over the taps of each residue class mod 4, are equal
// in each axis: then every rotation enters every output with the same
// weight. A 4-tap box does that but has no centre (its taps -2..1 shift the
// picture half a texel toward the origin, and every edge with it). Five taps
// -2..2 with weights 1/2, 1, 1, 1, 1/2 do it centred: -2 and 2 are the same
// class mod 4 and share one weight between them. The 2-D filter is the
// product of two such, 25 taps of total weight 16.
//
// Only the occlusion reaches this pass (the program's one sampler stays at
// unit 0, where the pass binds it), so the filter cannot tell a silhouette
// from a crease; its reach of two pixels is the least that cancels the tile.
// Border texels repeat, as clamp-to-edge sampling would give them.

in vec2 vTexCoord;

uniform sampler2D texSSAO;

out float fragOcclusion;

const int kReach = 2;
const float kTotalWeight = 16.0;

float TapWeight(int offset) { return abs(offset) == kReach ? 0.5 : 1.0; }

void main() {
    ivec2 pixel = ivec2(gl_FragCoord.xy);
    ivec2 lastTexel = textureSize(texSSAO, 0) - 1;
    float sum = 0.0;
    for (int y = -kReach; y <= kReach; ++y) {
        float row = 0.0;
        for (int x = -kReach; x <= kReach; ++x) {
            ivec2 at = clamp(pixel + ivec2(x, y), ivec2(0), lastTexel);
            row += TapWeight(x) * texelFetch(texSSAO, at, 0).r;
        }
        sum += TapWeight(y) * row;
    }
    fragOcclusion = sum / kTotalWeight;
}
