// Lighting pass: shades each pixel from the G-buffer. Ambient light is the
// albedo scaled by ambientFactor and darkened by the (blurred) occlusion; a
// modest fixed directional light adds Lambert diffuse, so shapes still read
// where the ambient term is flat. Pixels without geometry get the sky colour.

in vec2 vTexCoord;

uniform sampler2D texGNormal;
uniform sampler2D texGAlbedo;
uniform sampler2D texSSAO;
uniform int ssaoEnabled;
uniform float ambientFactor;
uniform mat4 viewMatrix;

out vec4 fragColor;

const vec3 kSkyColour = vec3(0.16, 0.24, 0.36);
// Light arriving from above and slightly to the side, in world space.
const vec3 kLightDirectionWorld = vec3(0.3, 1.0, 0.2);
const float kDiffuseStrength = 0.35;

void main() {
    vec3 normal = texture(texGNormal, vTexCoord).xyz;
    // The cleared G-buffer holds zero normals; anything drawn has unit ones.
    if (dot(normal, normal) < 0.25) {
        fragColor = vec4(kSkyColour, 1.0);
        return;
    }
    vec3 N = normalize(normal);
    vec3 albedo = texture(texGAlbedo, vTexCoord).rgb;
    float occlusion = ssaoEnabled != 0 ? texture(texSSAO, vTexCoord).r : 1.0;
    // The G-buffer is in view space; a direction transforms by the rotation
    // part of the view matrix only (no translation), i.e. its upper 3 x 3.
    vec3 L = normalize(mat3(viewMatrix) * kLightDirectionWorld);
    vec3 ambient = ambientFactor * albedo * occlusion;
    vec3 diffuse = kDiffuseStrength * max(dot(N, L), 0.0) * albedo;
    // Blending is on over a cleared framebuffer: alpha 1 writes the colour as is.
    fragColor = vec4(ambient + diffuse, 1.0);
}
