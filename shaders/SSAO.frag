// Occlusion pass: per pixel, the fraction of the hemisphere above the surface
// (cosine-weighted) from which no geometry within ssaoRadius blocks the view,
// estimated from the view-space G-buffer alone. Result in red: 1 = fully
// open, toward 0 = occluded.
//
// What is estimated. Ambient occlusion at P with normal N is
//   A = integral over the hemisphere of V(w) cos(theta) / pi dw,
// V(w) = 1 when the ray from P along w meets nothing within the radius R.
// ssaoSamples[] are unit directions drawn with density cos(theta) / pi about
// +z, so turned into a frame about N they are draws from exactly that
// density, and A is estimated by the plain mean of V over them: no weights.
//
// Testing one ray. Let S = P + R w be the ray's end, and Q, NQ the visible
// surface point and its normal on the eye ray through S (the G-buffer texel
// S projects to). Near Q the surface is its tangent plane. The ray from P to
// S meets that plane within R exactly when P lies on its front side and S on
// its back side; then the ray is blocked. Only the plane's side test decides,
// not the depth of Q alone, and that tells apart the two cases a depth
// comparison confuses:
// - an object far in front of P (a pillar before a wall) hides S, but P lies
//   behind the plane of its front face: the ray passes behind it, no halo;
// - a floor seen at a grazing angle hides the end of a ray from the foot of a
//   wall at a point Q far in front of S (depth changes fast along a grazing
//   surface), yet P is above the floor's plane and S below it: blocked. A
//   test on the depth gap would call Q out of range here and leave the foot
//   of every distant wall unshaded.
// The end of the ray carries the whole test, so every ray has its full
// reach; what it misses is a ray that enters and leaves a thin object within
// R (its end is on the front side again), and a plane is trusted beyond the
// edge of the surface that holds Q.
//
// Only what rises above P's tangent plane can block a ray that leaves P
// upward; with rounded positions this test is what keeps a flat surface from
// occluding itself (there Q lies in P's plane), whether the surface is seen
// face on or at a grazing angle where one texel spans a long stretch of it.
//
// Rounding. Positions and normals are half floats: 11 significant bits, so a
// stored coordinate v is off by at most |v| 2^-11. For the plane distance
// N.(Q - P) the errors of Q and P add up to at most (|Q| + |P|) 2^-11 <=
// (2|P| + R) 2^-11, and the normal's error (at most sqrt(3) 2^-11 in length)
// times |Q - P| <= R adds about R 2^-10; together below (|P| + 2R) 2^-10.
// The same slack serves the test of P against the plane through Q. It grows
// with the distance only as fast as the rounding does: 0.15 at 150 units,
// where a radius of 3.75 still rises 25 times higher.
//
// Cost. Per sample one fetch of position and one of normal at the same
// integer texel (no sampler wrap or filter work), and the projection of S
// folded into a per-pixel matrix: S's pixel is centre + focal * S.xy / (-S.z),
// and with S = P + R F k (F the frame, k the sample) the numerator and the
// denominator are affine in k, so one 3 x 3 product per sample gives both,
// and S itself back by two products. Pixels without geometry run the loop
// zero times.

uniform sampler2D texGPosition;
uniform sampler2D texGNormal;
uniform sampler2D texSSAONoise;
uniform vec3 ssaoSamples[128];
uniform int ssaoKernelSize;
uniform float ssaoRadius;
uniform mat4 projMatrix;

out float fragOcclusion;

const int kMaxSamples = 128;
const float kHalfFloatSlack = 1.0 / 1024.0; // twice a half float's relative rounding
const float kMinNormalLength2 = 0.25;       // the cleared G-buffer holds zero normals

// Tangent frame around N, turned about N by the per-pixel noise vector:
// Gram-Schmidt removes the noise's component along N, leaving a tangent T
// perpendicular to N; B = N x T completes a right-handed frame (T, B, N)
// that maps the kernel's +z onto N.
mat3 KernelFrame(vec3 N, vec3 noise) {
    vec3 T = noise - N * dot(noise, N);
    // The noise was (nearly) zero or parallel to N: any perpendicular will do.
    vec3 axis = abs(N.x) < 0.9 ? vec3(1.0, 0.0, 0.0) : vec3(0.0, 1.0, 0.0);
    T = normalize(dot(T, T) < 1e-6 ? axis - N * dot(axis, N) : T);
    return mat3(T, cross(N, T), N);
}

void main() {
    ivec2 pixel = ivec2(gl_FragCoord.xy);
    vec3 P = texelFetch(texGPosition, pixel, 0).xyz;
    vec3 N = texelFetch(texGNormal, pixel, 0).xyz;
    // Everything drawn lies beyond the near plane (z < 0); the cleared
    // G-buffer reads z = 0. No geometry, no samples or no radius: open.
    bool covered = P.z < 0.0 && dot(N, N) > kMinNormalLength2 && ssaoRadius > 0.0;
    int count = covered ? min(ssaoKernelSize, kMaxSamples) : 0;

    N = normalize(N);
    // One noise texel per screen pixel: the tile repeats whatever the size.
    vec3 noise = texelFetch(texSSAONoise, pixel % textureSize(texSSAONoise, 0), 0).xyz;
    mat3 frame = KernelFrame(N, noise);

    // Clip x = p00 x + p20 z, w = -z, so NDC x = p00 x / (-z) - p20 and the
    // pixel is (NDC + 1) size / 2: focal = p00 size / 2 and
    // centre = (1 - p20) size / 2 (likewise for y).
    vec2 size = vec2(textureSize(texGPosition, 0));
    vec2 focal = vec2(projMatrix[0][0], projMatrix[1][1]) * 0.5 * size;
    vec2 centre = (1.0 - vec2(projMatrix[2][0], projMatrix[2][1])) * 0.5 * size;
    // E = (focal * S.xy, -S.z) = base + toScreen * k.
    vec3 base = vec3(focal * P.xy, -P.z);
    vec3 scale = vec3(focal, -1.0) * ssaoRadius;
    mat3 toScreen = mat3(scale * frame[0], scale * frame[1], scale * frame[2]);
    vec2 invFocal = 1.0 / focal;
    vec2 lastTexel = size - 1.0;
    float slack = (length(P) + 2.0 * ssaoRadius) * kHalfFloatSlack;

    float blocked = 0.0;
    for (int i = 0; i < count; ++i) {
        vec3 E = base + toScreen * ssaoSamples[i];
        // Off-screen ends read the nearest border texel: a better guess than
        // counting them open. An end behind the eye (E.z <= 0, only within R
        // of the near plane) has no texel at all and counts as open.
        ivec2 at = ivec2(clamp(E.xy / E.z + centre, vec2(0.0), lastTexel));
        vec3 Q = texelFetch(texGPosition, at, 0).xyz;
        vec3 NQ = texelFetch(texGNormal, at, 0).xyz;
        vec3 S = vec3(E.xy * invFocal, -E.z);
        vec3 D = Q - P;
        // P on the front of the plane through Q (within rounding), S behind
        // it, and Q above P's own plane. An empty texel has NQ = 0 and fails
        // the second test.
        bool crosses = dot(NQ, D) < slack && dot(NQ, S - Q) < 0.0;
        blocked += crosses && dot(N, D) > slack && E.z > 0.0 ? 1.0 : 0.0;
    }
    fragOcclusion = 1.0 - blocked / float(max(count, 1));
}
