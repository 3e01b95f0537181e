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
// Testing one ray. The G-buffer knows only the visible surface, so the scene
// is read as a height field seen from the eye: a point is inside geometry
// when the visible surface Q on the eye ray through it is nearer. A ray is
// blocked when a point along it is inside. Each ray is tested at two points,
// half way (R/2) and at its end (R): the end alone catches every thick
// blocker within the radius, but a ray that crosses a thin one (a fold of
// cloth, a baluster, a moulding smaller than R) ends in the open again; the
// half-way point catches most of those. Points spread inside the hemisphere
// at random lengths (mean 0.4 R) would reach only part of the radius.
//
// Range. A hidden point behind an object far in front of P (a pillar before
// a wall) does not mean the ray is blocked: the ray passes behind it. The
// depth gap |P.z - Q.z| tells them apart, but it overstates the distance to
// a blocker on surfaces seen at a grazing angle: from the foot of a distant
// wall, a ray into the floor ends below it at a point whose eye ray meets the
// floor far in front, gap >> R, though the floor is within R. So a hidden
// point counts fully up to a gap of 2R, fades linearly to one half at 4R and
// is cut there: nothing further in front darkens P. (Measured against
// ray-traced occlusion, a cut at 3R or a fade to zero leaves the feet of
// distant walls too open; a longer tail darkens backgrounds behind pillars.)
//
// Only what rises above P's tangent plane can block a ray that leaves P
// upward; with rounded positions this test is what keeps a flat surface from
// occluding itself (there Q lies in P's plane), whether seen face on or at a
// grazing angle where one texel spans a long stretch of it. The normal is
// turned toward the eye first: a surface is always seen from its front.
//
// Rounding. Positions and normals are half floats: 11 significant bits, so a
// stored coordinate v is off by at most |v| 2^-11. For the plane distance
// N.(Q - P) the errors of Q and P add up to at most (|Q| + |P|) 2^-11, about
// (2|P| + R) 2^-11 for Q near P, and the normal's error (at most sqrt(3)
// 2^-11 in length) times |Q - P| ~ R adds about R 2^-10; together below
// (|P| + 2R) 2^-10.
// The same slack serves the depth comparison. It grows with the distance
// only as fast as the rounding does: 0.15 at 150 units, where a radius of
// 3.75 still rises 25 times higher.
//
// Cost. Two position fetches per sample (emptiness is read off z); the
// sampler's nearest filter and clamp-to-edge find the texel and keep
// off-screen points on the border (measured faster on the software
// rasteriser than clamping by hand for texelFetch). The projection is
// folded into a per-pixel matrix: a point X's pixel is
// centre + focal * X.xy / (-X.z), and with X = P + t R F k (F the frame, k
// the sample) the numerator and the denominator are affine in t k, so one
// 3 x 3 product per sample serves both points. The range weight needs no
// division. Pixels without geometry run the loop zero times.

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
const float kHalfWay = 0.5;                 // the first point tested along each ray
// Depth gaps in radii: a hidden point counts fully up to kCutRange / 2, its
// weight 1.5 - gap / kCutRange falls to one half at kCutRange, and stops.
const float kCutRange = 4.0;
const float kRangeFloor = 0.5;
const float kRangeStart = 1.5;

// Per pixel, set once in main: where the point (0, 0, -1) lands, and the
// size of one texel in texture coordinates.
vec2 gCentre;
vec2 gTexel;

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

// How far a point X, given as E = (focal * X.xy, -X.z), counts as inside
// geometry that shelters P: 0 when visible, in front of the eye plane, below
// P's tangent plane or hidden by something out of range.
float Blocked(vec3 E, float depthP, float planeP, vec3 N, float slack, float perCut,
              float cutRange) {
    // Off-screen points read the nearest border texel: a better guess than
    // counting them open. A point behind the eye (E.z <= 0, only within R of
    // the near plane) has no texel at all and counts as open.
    vec3 Q = texture(texGPosition, (E.xy / E.z + gCentre) * gTexel).xyz;
    // The eye looks down -z: Q is nearer than X when Q.z > X.z = -E.z. The
    // cleared G-buffer reads z = 0 where nothing was drawn.
    bool hidden = Q.z > slack - E.z && Q.z < 0.0 && E.z > 0.0 && dot(N, Q) > planeP;
    float gap = abs(depthP - Q.z);
    float range = gap < cutRange ? clamp(kRangeStart - gap * perCut, kRangeFloor, 1.0) : 0.0;
    return hidden ? range : 0.0;
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
    N = dot(N, P) > 0.0 ? -N : N;
    // One noise texel per screen pixel: the tile repeats whatever the size.
    // Its side is a power of two (4), so the remainder is a mask: integer
    // division has no vector instruction and would run lane by lane.
    vec3 noise = texelFetch(texSSAONoise, pixel & (textureSize(texSSAONoise, 0) - 1), 0).xyz;
    mat3 frame = KernelFrame(N, noise);

    // Clip x = p00 x + p20 z, w = -z, so NDC x = p00 x / (-z) - p20 and the
    // pixel is (NDC + 1) size / 2: focal = p00 size / 2 and
    // centre = (1 - p20) size / 2 (likewise for y).
    vec2 size = vec2(textureSize(texGPosition, 0));
    vec2 focal = vec2(projMatrix[0][0], projMatrix[1][1]) * 0.5 * size;
    gCentre = (1.0 - vec2(projMatrix[2][0], projMatrix[2][1])) * 0.5 * size;
    gTexel = 1.0 / size;
    // E = (focal * X.xy, -X.z) = base + t * toScreen * k for X = P + t R F k.
    vec3 base = vec3(focal * P.xy, -P.z);
    vec3 scale = vec3(focal, -1.0) * ssaoRadius;
    mat3 toScreen = mat3(scale * frame[0], scale * frame[1], scale * frame[2]);
    float slack = (length(P) + 2.0 * ssaoRadius) * kHalfFloatSlack;
    float cutRange = kCutRange * ssaoRadius;
    float perCut = 1.0 / cutRange;
    float planeP = dot(N, P) + slack;

    float blocked = 0.0;
    for (int i = 0; i < count; ++i) {
        vec3 K = toScreen * ssaoSamples[i];
        blocked += max(Blocked(base + kHalfWay * K, P.z, planeP, N, slack, perCut, cutRange),
                       Blocked(base + K, P.z, planeP, N, slack, perCut, cutRange));
    }
    fragOcclusion = 1.0 - blocked / float(max(count, 1));
}
