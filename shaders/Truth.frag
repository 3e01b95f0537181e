// Truth: the ray-traced occlusion of the view as grey, or our occlusion minus
// it in signed colours.
//
// The truth texture holds per pixel (r) the fraction of cosine-weighted rays
// that escape within the radius, which is what our occlusion term estimates,
// and (g) the view depth of the surface the ray tracer hit (0: none). Its rows
// were stored top first, so it is read with v turned over.
//
// A pixel is compared only where the tracer and the G-buffer see one surface:
// their depths d1, d2 agree within 0.005 max(d1, d2) (the G-buffer keeps
// positions as half floats, 2^-11 relative; another surface is farther off).
// Elsewhere the difference view shows neutral grey.
//
// Colour of e = ours - truth: white at e = 0, fading linearly to pure red at
// e >= 0.5 (ours too light, too little occlusion) or pure blue at e <= -0.5
// (ours too dark), as in the comparison images.

uniform sampler2D texDiffuse;   // the truth
uniform sampler2D texSSAO;      // our occlusion, as lighting reads it
uniform sampler2D texGPosition; // view-space positions of the G-buffer
uniform int singleChannel;      // 1: the truth alone; 0: the difference

in vec2 vTexCoord;
out vec4 fragColor;

const float kHeatRange = 0.5;
const float kSameSurface = 0.005;
const vec3 kNeutral = vec3(48.0 / 255.0);

void main() {
    vec2 truth = texture(texDiffuse, vec2(vTexCoord.x, 1.0 - vTexCoord.y)).rg;
    if (singleChannel == 1) {
        fragColor = vec4(vec3(truth.r), 1.0);
        return;
    }
    float drawn = -texture(texGPosition, vTexCoord).z;
    bool same = truth.g > 0.0 && drawn > 0.0 &&
                abs(truth.g - drawn) <= kSameSurface * max(truth.g, drawn);
    if (!same) {
        fragColor = vec4(kNeutral, 1.0);
        return;
    }
    float e = texture(texSSAO, vTexCoord).r - truth.r;
    float fade = 1.0 - min(1.0, abs(e) / kHeatRange);
    fragColor = vec4(e > 0.0 ? 1.0 : fade, fade, e < 0.0 ? 1.0 : fade, 1.0);
}
