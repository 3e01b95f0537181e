// Text: colours a glyph fragment by the atlas coverage.
//
// A glyph edge at texel u0 is drawn from pixel edge x0, and both advance one
// unit per pixel, so a pixel centre x0 + i + 0.5 interpolates to the texel
// centre u0 + i + 0.5: dividing by the atlas size gives UVs that sample each
// texel exactly once, without blur from the linear filter.

uniform sampler2D texFontAtlas; // single channel: glyph coverage in red
uniform vec4 textColor;

in vec2 texel;
out vec4 fragColor;

void main() {
    vec2 uv = texel / vec2(textureSize(texFontAtlas, 0));
    float coverage = texture(texFontAtlas, uv).r;
    // Coverage scales the alpha only; blending with (src alpha, 1 - src alpha)
    // then mixes the colour into what lies below in proportion to it.
    fragColor = vec4(textColor.rgb, textColor.a * coverage);
}
