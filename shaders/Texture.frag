// Texture: shows a texture as it is, or one channel of it as grey.

uniform sampler2D texDiffuse;
// 1 for single-channel textures (the occlusion term): their value lives in
// red, so it is spread over red, green and blue to read as grey.
uniform int singleChannel;

in vec2 uv;
out vec4 fragColor;

void main() {
    vec4 texel = texture(texDiffuse, uv);
    vec3 color = singleChannel == 1 ? vec3(texel.r) : texel.rgb;
    // Opaque, so blending leaves the shown values unchanged.
    fragColor = vec4(color, 1.0);
}
