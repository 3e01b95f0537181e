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
// its own depth must not occlude itself through rounding. Positions are
// stored as half floats, whose 10-bit mantissa spaces values 2^-10 * |z|
// apart near z; beyond |z| = 0.025 * 2^10 = 25.6 that spacing outgrows the
// fixed bias, so the bias grows with distance from there on.
const float kBias = 0.025;
const float kHalfFloatSpacing = 1.0 / 1024.0;
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
float Blocked(vec3 P, vec3 N, vec3 S) {
    vec4 clip = projMatrix * vec4(S, 1.0);
    if (clip.w <= 0.0)
        return 0.0; // behind the eye: nothing on screen to compare with
    vec2 uv = clip.xy / clip.w * 0.5 + 0.5;
    if (any(lessThan(uv, vec2(0.0))) || any(greaterThan(uv, vec2(1.0))))
        return 0.0; // off screen: no information, treat as open
    // Q: the visible surface point at S's pixel (its centre, not S's exact
    // spot: a texel spans a patch whose depth varies across it).
    vec3 Q = texture(texGPosition, uv).xyz;
    // Everything drawn lies in front of the eye (z < 0, beyond the near
    // plane); the cleared G-buffer reads z = 0 there. Testing the position
    // we fetch anyway saves a normal fetch per sample.
    if (Q.z >= 0.0)
        return 0.0; // empty background never occludes
    float bias = max(kBias, abs(P.z) * kHalfFloatSpacing);
    // The eye looks down -z, so a larger z is nearer: Q is in front of S
    // when Q.z exceeds S.z (plus the bias).
    bool inFront = Q.z >= S.z + bias;
    // Only what rises above P's tangent plane can shelter P. This also stops
    // a flat surface from occluding itself where its texels are wider than
    // the short samples (far away or at grazing angles): the pixel-centre Q
    // may be nearer than a sample hovering just above the surface, but it
    // lies in P's own plane, dot(N, Q - P) = 0.
    bool abovePlane = dot(N, Q - P) > bias;
    // Range check: a surface much nearer than P (a pillar in front of a
    // wall) hides S without sheltering P. The ratio radius / |dz| is >= 1
    // for occluders within the radius and falls off beyond it.
    float gap = max(abs(P.z - Q.z), kMinDepthGap);
    return inFront && abovePlane ? smoothstep(0.0, 1.0, ssaoRadius / gap) : 0.0;
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
    N = normalize(N);
    mat3 frame = KernelFrame(N, noise);

    float blocked = 0.0;
    for (int i = 0; i < count; ++i) {
        vec3 S = P + frame * ssaoSamples[i] * (SampleScale(i, count) * ssaoRadius);
        blocked += Blocked(P, N, S);
    }
    fragOcclusion = 1.0 - blocked / float(count);
}
