// Occlusion pass: estimates, per pixel, how much of the hemisphere above the
// surface is blocked by nearby geometry, from the view-space G-buffer alone.
//
// The unit kernel ssaoSamples[] is cosine-distributed around +z. For a pixel
// with view-space position P and normal N it is turned into a frame around N,
// shortened toward P and scaled by ssaoRadius; each sample point S is
// projected back onto the screen, where the G-buffer says how far away the
// visible surface is. If that surface is nearer to the eye than S, S lies
// inside geometry and the sample counts as blocked. Result in red:
// 1 = fully open, toward 0 = occluded.

in vec2 vTexCoord;

uniform sampler2D texGPosition;
uniform sampler2D texGNormal;
uniform sampler2D texSSAONoise;
uniform vec3 ssaoSamples[128];
uniform int ssaoKernelSize;
uniform float ssaoRadius;
uniform mat4 projMatrix;

out float fragOcclusion;

const int kMaxSamples = 128;
const float kNoiseTile = 4.0;     // the noise texture is 4 x 4 texels
// Depth slack before a sample counts as blocked: a flat surface sampled at
// its own depth must not occlude itself through half-float rounding.
const float kBias = 0.025;
const float kMinScale = 0.1;      // shortest sample, as a fraction of the radius
const float kMinDepthGap = 1e-4;  // keeps the range check finite at equal depths

// The cleared G-buffer holds zero normals; anything drawn has unit ones.
bool HasGeometry(vec3 normal) { return dot(normal, normal) > 0.25; }

// Tangent frame around N, turned about N by the per-pixel noise vector:
// Gram-Schmidt removes the noise's component along N, leaving a tangent T
// perpendicular to N; B = N x T completes a right-handed frame (T, B, N)
// that maps the kernel's +z onto N.
mat3 KernelFrame(vec3 N, vec3 noise) {
    vec3 T = noise - N * dot(noise, N);
    if (dot(T, T) < 1e-6) {
        // The noise was (nearly) zero or parallel to N: any perpendicular will do.
        vec3 axis = abs(N.x) < 0.9 ? vec3(1.0, 0.0, 0.0) : vec3(0.0, 1.0, 0.0);
        T = axis - N * dot(axis, N);
    }
    T = normalize(T);
    return mat3(T, cross(N, T), N);
}

// Samples are unit length; spreading their lengths over [kMinScale, 1] with
// a square puts more of them close to P, where occluders matter most.
float SampleScale(int i, int count) {
    float t = float(i) / float(count);
    return mix(kMinScale, 1.0, t * t);
}

// 1 when the sample at view-space point S is hidden by a surface within
// reach of P, fading toward 0 for occluders far beyond the radius.
float Blocked(vec3 P, vec3 S) {
    vec4 clip = projMatrix * vec4(S, 1.0);
    if (clip.w <= 0.0)
        return 0.0; // behind the eye: nothing on screen to compare with
    vec2 uv = clip.xy / clip.w * 0.5 + 0.5;
    if (any(lessThan(uv, vec2(0.0))) || any(greaterThan(uv, vec2(1.0))))
        return 0.0; // off screen: no information, treat as open
    if (!HasGeometry(texture(texGNormal, uv).xyz))
        return 0.0; // empty background never occludes
    float surfaceDepth = texture(texGPosition, uv).z;
    // The eye looks down -z, so a larger z is nearer: the visible surface is
    // in front of S when its z exceeds S.z (plus the bias).
    float hidden = surfaceDepth >= S.z + kBias ? 1.0 : 0.0;
    // Range check: a surface much nearer than P (a pillar in front of a
    // wall) hides S without sheltering P. The ratio radius / |dz| is >= 1
    // for occluders within the radius and falls off beyond it.
    float gap = max(abs(P.z - surfaceDepth), kMinDepthGap);
    return hidden * smoothstep(0.0, 1.0, ssaoRadius / gap);
}

void main() {
    vec3 N = texture(texGNormal, vTexCoord).xyz;
    int count = clamp(ssaoKernelSize, 0, kMaxSamples);
    if (!HasGeometry(N) || count == 0) {
        fragOcclusion = 1.0; // nothing drawn here, or no samples: fully open
        return;
    }
    vec3 P = texture(texGPosition, vTexCoord).xyz;
    // One noise texel per screen pixel: the 4 x 4 tile repeats across the
    // render target, whatever its size.
    vec2 noiseScale = vec2(textureSize(texGPosition, 0)) / kNoiseTile;
    vec3 noise = texture(texSSAONoise, vTexCoord * noiseScale).xyz;
    mat3 frame = KernelFrame(normalize(N), noise);

    float blocked = 0.0;
    for (int i = 0; i < count; ++i) {
        vec3 S = P + frame * ssaoSamples[i] * (SampleScale(i, count) * ssaoRadius);
        blocked += Blocked(P, S);
    }
    fragOcclusion = 1.0 - blocked / float(count);
}
