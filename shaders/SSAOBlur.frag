// Blur pass: averages the raw occlusion over a 4 x 4 box. The occlusion pass
// rotates its kernel by a noise tile of 4 x 4 pixels, so every such box holds
// each of the sixteen rotations exactly once and the average no longer
// depends on which rotation a pixel got: the tile pattern cancels out. A box
// of even width has no centre texel; offsets -2..1 cover it with the pixel
// itself in the third row and column.
//
// The sampler is never set by the program, so it stays at unit 0, where the
// pass binds the raw occlusion.

in vec2 vTexCoord;

uniform sampler2D texSSAO;

out float fragOcclusion;

const int kBoxMin = -2;
const int kBoxMax = 1;
const float kBoxTexels = 16.0;

void main() {
    vec2 texel = 1.0 / vec2(textureSize(texSSAO, 0));
    float sum = 0.0;
    for (int y = kBoxMin; y <= kBoxMax; ++y) {
        for (int x = kBoxMin; x <= kBoxMax; ++x)
            sum += texture(texSSAO, vTexCoord + vec2(float(x), float(y)) * texel).r;
    }
    fragOcclusion = sum / kBoxTexels;
}
