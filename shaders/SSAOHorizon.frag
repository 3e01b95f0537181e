// Occlusion pass, horizon estimator: the same quantity as SSAO.frag (the
// cosine-weighted fraction of the hemisphere above the surface from which no
// geometry within ssaoRadius blocks the view), from the same inputs, but
// integrated exactly within one slice of directions per pixel instead of
// tested ray by ray. Result in red: 1 = fully open, toward 0 = occluded.
//
// Slices. Write V for the unit vector from P toward the eye. Every
// direction w of the sphere lies in exactly one plane through V (a slice),
// at a signed angle theta from V within it: with phi in [0, pi) naming the
// slice and theta in (-pi, pi], dw = |sin theta| dtheta dphi. In the slice
// the normal projects to a vector of length |N_s| at the angle n from V
// (|n| <= pi/2, since a visible surface faces the eye), and
// N.w = |N_s| cos(theta - n). So
//   A = 1/pi integral_0^pi |N_s| integral_h1^h2 cos(theta - n) |sin theta| dtheta dphi
// where [h1, h2] is the arc around V that nothing blocks: looking from P,
// nothing lies between P and the eye, so the open directions of a slice are
// exactly those between its two horizons (h1 <= 0 <= h2), clipped to the
// hemisphere: h1 >= n - pi/2, h2 <= n + pi/2.
//
// The inner integral in closed form. cos(theta - n) sin theta
// = (sin(2 theta - n) + sin n) / 2, so for either sign of h
//   a(h) = integral_0^h cos(theta - n) |sin theta| dtheta
//        = (cos n - cos(2h - n) + 2h sin n) / 4,
// and a slice's visible weight is |N_s| (a(h2) + a(h1)) (a is odd in its
// sign convention: h1 is negative and a(h1) comes out positive).
//
// What is written. With phi uniform on [0, pi) the mean of
// |N_s| (a(h1) + a(h2)) over slices is A. A slice with nothing above the
// surface has h1 = n - pi/2, h2 = n + pi/2 and the weight |N_s| (cos n +
// n sin n), which is not 1 slice by slice, only on average over phi. So the
// pass writes one minus the occluded weight,
//   1 - |N_s| (a(n + pi/2) - a(h2) + a(n - pi/2) - a(h1)),
// which has the same mean (the open weight averages to exactly 1) but is 1
// on every open pixel instead of flickering about it; the ratio of visible
// to open weight per pixel would be exact for one slice yet over-weights
// slices that graze a floor (|N_s| small, ratio swings freely). The
// difference a(n +- pi/2) - a(h) simplifies, with a(n +- pi/2)
// = (2 cos n + (2n +- pi) sin n) / 4, to
//   (cos n + cos(2h - n) + (2n +- pi - 2h) sin n) / 4.
//
// The same in the horizon's elevation. Measure each side's horizon by its
// elevation g >= 0 above that side's tangent (the tangent lies at
// theta = n +- pi/2): h2 = n + pi/2 - g and h1 = n - pi/2 + g. Then
// 2h - n = n +- pi -+ 2g, so cos(2h - n) = -cos(n -+ 2g), and
// 2n +- pi - 2h = +-2g; expanding cos(n -+ 2g) = cos n cos 2g +- sin n sin 2g
// and 1 - cos 2g = 2 sin^2 g, the occluded part of one side is
//   (2 sin^2 g cos n +- (2g - sin 2g) sin n) / 4
//   = (sin^2 g cos n +- (g - sin g cos g) sin n) / 2,
// upper signs on the +w side. n itself no longer appears, only its cosine
// and sine, and those are dot products: N_s = (N.V) V + (N.w) w, so
// |N_s| cos n = N.V and |N_s| sin n = N.w. The march finds cos g (below),
// sin g is sqrt(1 - cos^2 g), and the one angle left, g, is an arc cosine
// by a cubic times a square root (within 7e-5 of the exact one, a change
// of at most 4e-5 in the written value).
//
// Finding a horizon. The slice plane passes through the eye, so it projects
// to a straight line on the screen through P's pixel, and every texel on
// that line shows a surface point Q of the slice. Marching along the line
// away from P on each side, a point Q within R of P at elevation g above
// that side's tangent raises the horizon to g; the horizon is the largest
// such elevation (the smallest cos g). Points beyond R do not block within
// the radius.
// The eye sees the sphere of radius R about P (P at distance |P|) under the
// half-angle alpha with sin alpha = R / |P|; its edge on the screen is where
// the tangent rays meet it, i.e. the projection of P + t R' w for t = +-1
// with R' = R / cos alpha (w the unit slice direction perpendicular to V).
// The march takes steps at t in (0, 1] on each side, so it covers exactly
// the part of the screen where a point within the radius can show.
//
// Between two steps. A sample inside the sphere next to one outside it
// leaves the horizon between them: taking the surface between the two as
// straight, the horizon is where that segment crosses the sphere (one root
// of a quadratic). A floor meeting a wall or a ceiling is straight there and
// comes out exact whatever the step count. When the last two samples are
// both inside, the line through them is taken on to the sphere the same way
// (at 4 and 16 reads this lowered the error by 4 to 20 % on the start and
// corner views at radius 3.75: with few steps the last one often stops short
// of a wall's crossing). Across a silhouette the segment
// is no surface: a jump to a point further than kStraddleReach R from P is
// not bridged, so an edge far in front of P (a railing before the far wall)
// casts no halo. No thickness is assumed: a point within R in front of the
// slice's horizon counts as solid behind (measured against ray-traced
// occlusion, a thickness fade and a falloff near the radius both made the
// estimate worse: it already errs on the open side).
//
// One crossing per side, after the march. Seen from P, a point moving along
// a straight segment turns one way only, and the rebuilt (run, height) of a
// point (below) is affine in it, so its elevation does too: the crossing of
// a straddling pair lies between the elevations of its two ends, and it can
// only raise the horizon above the inside end (already counted) when the
// outside end is higher still. So the march keeps, of all straddling pairs,
// the one whose outside end rises highest, and solves the sphere crossing
// for it and for the last two samples once, after the loop. The software
// rasteriser runs every lane of a group through the body of a branch that
// any lane takes, so a crossing solved inside the loop cost its square root
// and its reciprocal square root at every step of every pixel. Two
// straddles in one slice (the surface leaving the sphere and coming back)
// are where this can differ from solving every one: then the pair with the
// higher outside end wins.
//
// Rounding. Positions and normals are half floats: as in SSAO.frag a point
// on P's own plane may read up to (|P| + 2R) 2^-10 above it. Each sample is
// lowered by that slack along N before its angle is taken, so a flat surface
// never raises its own horizon above the tangent plane.
//
// Stratification and reads. The blur averages one 4 x 4 tile; its 16 pixels
// take 16 slices evenly spread over half a turn (phi and phi + pi are one
// slice), each moved up to half a sixteenth by the noise's x, and 16 shifts
// of the step positions (each stratum of t spread over the tile), moved by
// the noise's y. A kernel of n samples buys n G-buffer reads: n / 2 steps
// on each side of one slice (measured: one slice of n / 2 steps per side
// beat two slices of n / 4, which left the tile too few steps near P).
// ssaoSamples is not read: the directions are the slices'.
//
// Cost. Per pixel nothing transcendental is left but square roots and the
// two polynomial arc cosines: the slice's turn comes from a table of sixteen
// (as the hemisphere estimator's rays do), n's cosine and sine from dot
// products.
// The projection works in texture units, so the screen's size is never
// read, and each step's screen point is the previous one plus a constant.

in vec2 vTexCoord;

uniform sampler2D texGPosition;
uniform sampler2D texGNormal;
uniform sampler2D texSSAONoise;
uniform int ssaoKernelSize;
uniform float ssaoRadius;
uniform mat4 projMatrix;

out float fragOcclusion;

const int kMaxSamples = 128;
const float kPi = 3.14159265;
const float kHalfFloatSlack = 1.0 / 1024.0; // twice a half float's relative rounding
const float kMinNormalLength2 = 0.25;       // the cleared G-buffer holds zero normals
const float kTileCells = 16.0;
// The sphere's edge is bridged only from points at most this many radii away.
const float kStraddleReach = 2.0;
// cos^2 alpha is kept above this for an eye within 2R of P: beyond it the
// tangent rays run off to the screen's border and steps would be wasted there.
const float kMinCos2Alpha = 0.25;
// A slice nearly in the tangent plane has |N_s| near 0: its elevations
// saturate, and its weight |N_s| makes that harmless.
const float kMinLengthNs = 1e-4;
// The noise moves a slice up to half a sixteenth of half a turn either way.
const float kHalfSliceStep = kPi / (2.0 * kTileCells);
// cos and sin of (k + 1/2) sixteenths of half a turn: the middle of each
// cell's share of the slices.
const vec2 kSliceTurns[16] = vec2[16](
    vec2(0.99518473, 0.09801714), vec2(0.95694034, 0.29028468), vec2(0.88192126, 0.47139674),
    vec2(0.77301045, 0.63439328), vec2(0.63439328, 0.77301045), vec2(0.47139674, 0.88192126),
    vec2(0.29028468, 0.95694034), vec2(0.09801714, 0.99518473), vec2(-0.09801714, 0.99518473),
    vec2(-0.29028468, 0.95694034), vec2(-0.47139674, 0.88192126), vec2(-0.63439328, 0.77301045),
    vec2(-0.77301045, 0.63439328), vec2(-0.88192126, 0.47139674), vec2(-0.95694034, 0.29028468),
    vec2(-0.99518473, 0.09801714));

#ifdef GEOMETRIC_NORMALS
// Geometric normals. The G-buffer's normal is the model's shading normal,
// smoothed across the edges of its facets; the occlusion it stands for is
// that of the triangle actually there. So this build rebuilds the normal
// from the points around the pixel. With R, L the points right and left of
// P and U, D above and below, the plane through P holds R - P, P - L, U - P
// and P - D, and the cross product of one step along each axis,
// (R - P) x (U - P), is normal to it (screen x and y run along view x and y,
// so it points toward the eye). At a silhouette one neighbour of the two
// lies on another surface, far in front or behind, and a step to it would
// tilt the normal toward the eye ray. On the plane through P the two
// neighbours of an axis sit at depths z + dz and z - dz' with dz and dz'
// equal to first order (perspective makes them differ by their product over
// z), while across an edge the jump is the distance between the surfaces.
// So each axis takes the step whose depth jump is the smaller one, turned
// to point along +x (or +y). A neighbour off the screen or with nothing
// drawn is never taken; a pixel with no neighbour on an axis (a line one
// texel wide) keeps the G-buffer's normal.
//
// The points come from the depth buffer (texDiffuse in this build), not from
// the half-float positions: a one-texel step at view depth z spans about
// z / 1000 across, while a half float rounds z itself by up to z 2^-12, so
// steps rebuilt from positions tilt by up to about 15 degrees, at random
// from texel to texel, and the surface's own neighbours rise above the
// tilted tangent plane as occluders (measured: the corner view's error at
// radius 3.75 more than doubled). The 32-bit depth d in [0, 1] gives
// z = -p32 / (2d - 1 + p22) (p the projection), whose rounding, about
// 2 z^2 2^-24 / near, stays below a thousandth of the step out to 100 units
// with the near plane at 1; x and y follow from the pixel's own ray.
uniform sampler2D texDiffuse;
const float kNoNeighbour = 1e30;

// The view-space point seen at texel at (depth 1: nothing drawn), given the
// projection's pixel = centre + focal X.xy / (-X.z).
vec3 DepthPoint(ivec2 at, vec2 focal, vec2 centre, out bool drawn) {
    float d = texelFetch(texDiffuse, at, 0).r;
    drawn = d < 1.0;
    float z = -projMatrix[3][2] / (2.0 * d - 1.0 + projMatrix[2][2]);
    return vec3((vec2(at) + 0.5 - centre) * (-z) / focal, z);
}

// The step from P to the neighbour at pixel + offset, and its depth jump
// (kNoNeighbour when there is none).
vec3 StepTo(ivec2 pixel, ivec2 offset, vec3 P, vec2 focal, vec2 centre, out float jump) {
    ivec2 at = pixel + offset;
    ivec2 size = textureSize(texDiffuse, 0);
    bool onScreen = all(greaterThanEqual(at, ivec2(0))) && all(lessThan(at, size));
    bool drawn;
    vec3 Q = DepthPoint(clamp(at, ivec2(0), size - 1), focal, centre, drawn);
    jump = onScreen && drawn ? abs(Q.z - P.z) : kNoNeighbour;
    return Q - P;
}

// The step along the surface toward +axis, and whether either side had one.
vec3 SurfaceStep(ivec2 pixel, ivec2 axis, vec3 P, vec2 focal, vec2 centre, out bool found) {
    float jumpPlus, jumpMinus;
    vec3 plus = StepTo(pixel, axis, P, focal, centre, jumpPlus);
    vec3 minus = StepTo(pixel, -axis, P, focal, centre, jumpMinus);
    found = min(jumpPlus, jumpMinus) < kNoNeighbour;
    return jumpPlus <= jumpMinus ? plus : -minus;
}

vec3 GeometricNormal(ivec2 pixel) {
    vec2 size = vec2(textureSize(texDiffuse, 0));
    vec2 focal = vec2(projMatrix[0][0], projMatrix[1][1]) * 0.5 * size;
    vec2 centre = (1.0 - vec2(projMatrix[2][0], projMatrix[2][1])) * 0.5 * size;
    bool drawn, foundX, foundY;
    vec3 P = DepthPoint(pixel, focal, centre, drawn);
    if (!drawn) // nothing here: a zero normal leaves the pixel open, unread
        return vec3(0.0);
    vec3 alongX = SurfaceStep(pixel, ivec2(1, 0), P, focal, centre, foundX);
    vec3 alongY = SurfaceStep(pixel, ivec2(0, 1), P, focal, centre, foundY);
    vec3 N = cross(alongX, alongY);
    if (!foundX || !foundY || dot(N, N) <= 0.0)
        return texelFetch(texGNormal, pixel, 0).xyz;
    return normalize(N);
}
#endif

// Ranks of cell c = (x, y) of the 4 x 4 tile among the 16 strata, laid out
// as SSAO.frag lays them out (every row, column and 2 x 2 block of the tile
// holds each quarter of the range); the two ranks use transposed layouts.
int Reverse2(int v) {
    return ((v & 1) << 1) | ((v >> 1) & 1);
}
int StepRank(ivec2 c) {
    return 4 * (c.x ^ Reverse2(c.y)) + c.y;
}
int SliceRank(ivec2 c) {
    return 4 * (c.y ^ Reverse2(c.x)) + c.x;
}

// The cell of the tile whose part the pixel plays. The noise's z holds the
// frame's turn k (0 to 15) while a view at rest accumulates, and 0 otherwise:
// the pixel then acts as the cell k places on (k mod 4 across, k / 4 down,
// wrapping in the tile), and the noise texel under it holds that cell's
// jitter, so over 16 frames every pixel takes each of the 16 sets of
// directions the tile's pixels take in one frame.
ivec2 TileCell(ivec2 pixel, float turn) {
    int k = int(turn);
    return (pixel + ivec2(k & 3, k >> 2)) & 3;
}

// The slice's angle phi = (rank + 1/2 + noise / 2) pi / 16 as (cos, sin):
// the table's middle of the cell turned by d = noise pi / 32, |d| <= 0.1,
// by the cubic Taylor terms (error below 4e-6).
vec2 SliceTurn(int rank, float noise) {
    float d = noise * kHalfSliceStep;
    vec2 r = vec2(1.0 - 0.5 * d * d, d - d * d * d / 6.0);
    vec2 c = kSliceTurns[rank];
    return vec2(c.x * r.x - c.y * r.y, c.x * r.y + c.y * r.x);
}

// The unit slice direction w perpendicular to V at the angle whose cosine
// and sine are turn, from a basis T1, T2 of the plane perpendicular to V.
vec3 SliceDirection(vec3 V, vec2 turn) {
    vec3 across = abs(V.x) < 0.9 ? vec3(1.0, 0.0, 0.0) : vec3(0.0, 1.0, 0.0);
    vec3 T1 = normalize(across - V * dot(across, V));
    vec3 T2 = cross(V, T1);
    return turn.x * T1 + turn.y * T2;
}

// What one side's march needs to rebuild a sample's direction.
struct Side {
    vec3 N;          // P's normal, turned toward the eye
    vec3 T;          // the side's tangent in the slice
    float perHeight; // 1 / |N_s|
    float slack;     // the rounding allowance along N
    float cosN;      // cos n
    float sinOut;    // sin n on the +w side, -sin n on the other
};

// cos g, g the elevation above the side's tangent T of the in-slice
// direction of D, rebuilt from its height above the tangent plane and its
// run along T. A texel is up to half a texel off the slice's line, and on a
// surface seen at a grazing angle that half texel spans a long way in
// depth: projected into the slice such a point can land anywhere. Its
// height (D.N, which the offset along the slice's axis changes only by that
// offset times N.axis) stays right, though: in the slice a point at run r
// along T and height y above the tangent line has D.N = |N_s| y. So
// y = D.N / |N_s|, r = D.T, the direction is r T + y N_s / |N_s| (T and
// N_s / |N_s| are orthonormal in the slice), and cos g = r / |(r, y)|. With
// T = cos n w - sin n V (+w side; the -w side's is -T) its run outward along
// +-w is r cos n +- y sin n. A point on or below the tangent plane (y <= 0)
// blocks nothing, and one whose rebuilt direction falls past V (outward run
// <= 0; only an offset texel does) is no evidence either: both give 1, the
// tangent.
float CosAboveTangent(vec3 D, Side s) {
    float height = (dot(D, s.N) - s.slack) * s.perHeight;
    float along = dot(D, s.T);
    float outward = along * s.cosN + height * s.sinOut;
    bool blocks = height > 0.0 && outward > 0.0;
    return blocks ? along * inversesqrt(height * height + along * along) : 1.0;
}

// cos g of the point where the line A + s (B - A) leaves the sphere |D| = R
// at its far root (A inside the sphere, so c < 0 and one root s >= 0).
// A = B (no pair was kept) gives A itself.
float CrossingCos(vec3 A, vec3 B, Side side, float radius2) {
    vec3 AB = B - A;
    float a = dot(AB, AB);
    float b = dot(A, AB);
    float c = dot(A, A) - radius2;
    float s = (-b + sqrt(max(b * b - a * c, 0.0))) / max(a, 1e-20);
    return CosAboveTangent(A + s * AB, side);
}

// One side's horizon as the smallest cos g of what blocks (start: 1, the
// tangent). Marches the screen points E = first + j stride of P + t R' w,
// t = (j + shift) / steps, in the form E.xy / E.z + centre = texture
// coordinates.
float Horizon(vec3 P, Side side, vec3 E, vec3 stride, vec2 centre, int steps, float radius2) {
    float reach2 = kStraddleReach * kStraddleReach * radius2;
    float horizon = 1.0;
    // The sample before: P itself to start with (inside, within reach).
    vec3 previous = vec3(0.0);
    bool previousInside = true;
    bool previousNear = true;
    float previousCos = 1.0;
    vec3 before = vec3(0.0); // the drawn sample before previous
    bool beforeInside = false;
    // The straddling pair whose outside end rises highest.
    vec3 inner = vec3(0.0);
    vec3 outer = vec3(0.0);
    float outerCos = 1.0;
    for (int j = 0; j < steps; ++j) {
        vec2 uv = E.xy / E.z + centre;
        // Behind the eye or off the screen: nothing known further out.
        if (E.z <= 0.0 || any(lessThan(uv, vec2(0.0))) || any(greaterThanEqual(uv, vec2(1.0))))
            break;
        E += stride;
        vec3 Q = texture(texGPosition, uv).xyz;
        vec3 D = Q - P;
        float d2 = dot(D, D);
        bool drawn = Q.z < 0.0; // nothing drawn: open, and no surface to bridge
        bool inside = drawn && d2 < radius2;
        bool near = drawn && d2 < reach2;
        float c = CosAboveTangent(D, side);
        horizon = inside ? min(horizon, c) : horizon;
        float outsideCos = inside ? previousCos : c;
        if (near && previousNear && inside != previousInside && outsideCos < outerCos) {
            inner = inside ? D : previous;
            outer = inside ? previous : D;
            outerCos = outsideCos;
        }
        if (drawn) {
            before = previous;
            beforeInside = previousInside;
        }
        previous = D;
        previousInside = inside;
        previousNear = near;
        previousCos = c;
    }
    horizon = min(horizon, CrossingCos(inner, outer, side, radius2));
    // The last two samples both inside: the surface through them, taken on
    // as straight, meets the sphere further out (the far root).
    if (previousInside && beforeInside)
        horizon = min(horizon, CrossingCos(before, previous, side, radius2));
    return horizon;
}

// acos x within 7e-5 on [-1, 1]: sqrt(1 - |x|) times a cubic in |x| (a
// classic minimax fit on [0, 1]), and pi minus that for x < 0.
float ArcCos(float x) {
    float a = abs(x);
    float r = sqrt(1.0 - a) * (1.5707288 + a * (-0.2121144 + a * (0.0742610 - 0.0187293 * a)));
    return x < 0.0 ? kPi - r : r;
}

// The occluded part of one side's arc (sign +1 on the +w side, -1 on the
// other) for its horizon's cos g: (sin^2 g cos n +- (g - sin g cos g) sin n) / 2.
float OccludedArc(float cosG, vec2 cosSinN, float sign) {
    float c = clamp(cosG, -1.0, 1.0);
    float sin2 = 1.0 - c * c;
    float g = ArcCos(c);
    return 0.5 * (sin2 * cosSinN.x + sign * (g - sqrt(sin2) * c) * cosSinN.y);
}

void main() {
    ivec2 pixel = ivec2(gl_FragCoord.xy);
    // The nearest filter at the pixel's own texture coordinate reads its own
    // texel, as texelFetch would, and measured cheaper here at 4 reads.
    vec3 P = texture(texGPosition, vTexCoord).xyz;
#ifdef GEOMETRIC_NORMALS
    vec3 N = GeometricNormal(pixel);
#else
    vec3 N = texture(texGNormal, vTexCoord).xyz;
#endif
    // No geometry, no samples or no radius: open.
    bool covered = P.z < 0.0 && dot(N, N) > kMinNormalLength2 && ssaoRadius > 0.0;
    int steps = covered ? (min(ssaoKernelSize, kMaxSamples) + 1) / 2 : 0;
    if (steps == 0) {
        fragOcclusion = 1.0;
        return;
    }
    N = normalize(N);
    N = dot(N, P) > 0.0 ? -N : N;
    float distance = length(P);
    vec3 V = -P / distance;

    // The noise tile repeats under the nearest filter: the pixel's centre
    // over 4 falls in its texel (x mod 4, y mod 4).
    vec3 noise = texture(texSSAONoise, gl_FragCoord.xy * 0.25).xyz;
    ivec2 cell = TileCell(pixel, noise.z);
    vec3 w = SliceDirection(V, SliceTurn(SliceRank(cell), noise.x));
    float shift = (float(StepRank(cell)) + 0.5 + 0.5 * noise.y) / kTileCells;

    // The normal in the slice, (|N_s| cos n, |N_s| sin n) = (N.V, N.w);
    // N.V >= 0 as N faces the eye.
    vec2 normalInSlice = vec2(dot(N, V), dot(N, w));
    float lengthNs = length(normalInSlice);
    float perHeight = 1.0 / max(lengthNs, kMinLengthNs);
    vec2 cosSinN = normalInSlice * perHeight;

    // Projection as in SSAO.frag, in texture units: uv = centre + focal *
    // X.xy / (-X.z) with focal = (p00, p11) / 2 and centre = (1 - (p20, p21)) / 2.
    vec2 focal = 0.5 * vec2(projMatrix[0][0], projMatrix[1][1]);
    vec2 centre = 0.5 - 0.5 * vec2(projMatrix[2][0], projMatrix[2][1]);
    float radius2 = ssaoRadius * ssaoRadius;
    float sin2Alpha = radius2 / (distance * distance);
    float reach = ssaoRadius * inversesqrt(max(1.0 - sin2Alpha, kMinCos2Alpha));
    vec3 base = vec3(focal * P.xy, -P.z);
    vec3 stride = vec3(focal * w.xy, -w.z) * (reach / float(steps));
    float slack = (distance + 2.0 * ssaoRadius) * kHalfFloatSlack;

    // The tangent on the +w side, at theta = n + pi/2: -sin n V + cos n w;
    // the other side's is its opposite, at n - pi/2.
    vec3 T = cosSinN.x * w - cosSinN.y * V;
    Side plus = Side(N, T, perHeight, slack, cosSinN.x, cosSinN.y);
    Side minus = Side(N, -T, perHeight, slack, cosSinN.x, -cosSinN.y);
    float cosPlus = Horizon(P, plus, base + shift * stride, stride, centre, steps, radius2);
    float cosMinus = Horizon(P, minus, base - shift * stride, -stride, centre, steps, radius2);
    float occluded = OccludedArc(cosPlus, cosSinN, 1.0) + OccludedArc(cosMinus, cosSinN, -1.0);
    fragOcclusion = clamp(1.0 - lengthNs * occluded, 0.0, 1.0);
}
