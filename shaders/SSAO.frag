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
// Testing one ray. The G-buffer knows only the visible surface: for a point X
// it gives the surface Q that the eye sees on the ray through X. X is inside
// geometry when Q is nearer than X and the thing whose front is Q reaches
// back as far as X. A ray is blocked when a point along it is inside. Each
// ray is tested at two points, half way (R/2) and at its end (R): the end
// alone catches a thick blocker anywhere within the radius, but a ray that
// crosses a thin one (a fold of cloth, a baluster) ends in the open again;
// the half-way point catches most of those. (A third point at R/3 lowers the
// error at radius 3.75 by another 5-15 % but costs half as much again.)
//
// Thickness. How far back the thing at Q reaches is what the G-buffer cannot
// say. Counting every hidden point as inside (or every one whose Q lies
// within some depth range of P) darkens whatever is seen past the edge of an
// arch, a column or a curtain: points in the open air behind it. So each
// surface is assumed to be a slab: a hidden point counts fully up to 0.75 R
// behind it, fading linearly to nothing at 1.5 R (measured against
// ray-traced occlusion: thinner slabs leave creases too open at radius 3.75,
// thicker ones darken the open air behind balusters at radius 0.9; a soft
// end keeps a thin wall's halo from ending in a visible edge). No weight on
// the depth gap between P and Q is left: keeping a distant background behind
// a silhouette open, which is what such a weight was for, the slab does.
//
// Thickness is measured across the surface, but the G-buffer gives depth
// along the eye ray: a slab seen at an angle a to its normal is 1 / cos(a)
// deeper along the ray. For a floor seen at a grazing angle that is ten or
// more times its thickness, and without a correction every ray from the foot
// of a distant wall into that floor would count as open. When both points of
// a ray are hidden, Q_h and Q_r are taken to lie on one surface: the chord
// Q_r - Q_h lies in it, and if it makes the angle g with the eye ray then
// 1 / sin(g) <= 1 / cos(a) (no direction in a plane is closer to the eye ray
// than the plane's own slope), so stretching the slab by 1 / sin(g) never
// overstates it. When only one point is hidden there is no chord: Q_h and
// Q_r then lie on different things (an arch in front, a vault behind) and
// the slab keeps its depth.
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
// Samples per read. Each G-buffer read costs about as much as the rest of a
// ray's arithmetic, so a kernel of n samples buys n reads: n / 2 rays of two
// points. Alternate rows of the 4 x 4 tile take the even and the odd
// samples, so the tile uses every sample, each in eight pixels.
//
// Stratification. The blur averages exactly one 4 x 4 tile, so what matters
// is how well the tile's 16 pixels together cover the hemisphere. Each pixel
// turns the kernel about N by its own sixteenth of a full turn (plus up to
// half a sixteenth either way from the noise texture), and shifts each
// sample's elevation within its own sixteenth: a cosine-distributed
// direction is a point spread uniformly over the unit disk, so r^2 = 1 - z^2
// is uniform on [0, 1), and adding a shift modulo 1 keeps it uniform (the
// estimate of every pixel stays unbiased) while the tile's 16 shifts spread
// one sample over 16 strata of elevation. Two different orders of the cells
// pair the turns with the shifts so that neither follows the other. With 4
// samples a tile then holds 32 rays covering the hemisphere evenly instead
// of 4 directions spun about N.
//
// Cost. Two position fetches per ray (emptiness is read off z); the
// sampler's nearest filter and clamp-to-edge find the texel and keep
// off-screen points on the border (measured faster on the software
// rasteriser than clamping by hand for texelFetch). The projection is
// folded into a per-pixel matrix: a point X's pixel is
// centre + focal * X.xy / (-X.z), and with X = P + t R F k (F the frame, k
// the sample) the numerator and the denominator are affine in t k, so one
// 3 x 3 product per ray serves both points. Pixels without geometry run the
// loop zero times.

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
const float kHalfFloatSlack = 1.0 / 1024.0; // twice a half float's relative rounding
const float kMinNormalLength2 = 0.25;       // the cleared G-buffer holds zero normals
const float kHalfWay = 0.5;                 // the first point tested along each ray
// The slab behind each visible surface, in radii: fully inside up to
// kSlabSolid, fading to nothing at kSlabSolid + kSlabFade.
const float kSlabSolid = 0.75;
const float kSlabFade = 0.75;
// (kSlabSolid + kSlabFade) / kSlabFade: the fade written as one product.
const float kSlabEnd = (kSlabSolid + kSlabFade) / kSlabFade;
// A surface seen 89 degrees off square is 57 times deeper along the eye ray;
// the floor on sin(g) (1/64) only keeps the slab finite.
const float kMinSin2 = 1.0 / 4096.0;
const float kTileCells = 16.0;
const float kHalfCellTurn = 3.14159265 / kTileCells; // half of 2 pi / 16
// cos and sin of k sixteenths of a turn.
const vec2 kTurns[16] = vec2[16](
    vec2(1.0, 0.0), vec2(0.92387953, 0.38268343), vec2(0.70710678, 0.70710678),
    vec2(0.38268343, 0.92387953), vec2(0.0, 1.0), vec2(-0.38268343, 0.92387953),
    vec2(-0.70710678, 0.70710678), vec2(-0.92387953, 0.38268343), vec2(-1.0, 0.0),
    vec2(-0.92387953, -0.38268343), vec2(-0.70710678, -0.70710678),
    vec2(-0.38268343, -0.92387953), vec2(0.0, -1.0), vec2(0.38268343, -0.92387953),
    vec2(0.70710678, -0.70710678), vec2(0.92387953, -0.38268343));

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

// Ranks of cell c = (x, y) of the 4 x 4 tile among the 16 strata: a quarter
// q and a place within it. q = x ^ rev(y) (rev swaps the two bits) lays the
// quarters out as 0 1 2 3 / 2 3 0 1 / 1 0 3 2 / 3 2 1 0, so every row, every
// column and every 2 x 2 block of the tile holds one cell of each quarter: a
// crease one pixel wide, where the blur's box meets a single row of the
// tile, still sees the whole range, and so does each small neighbourhood.
// The turns use the transposed layout, so neither rank follows the other.
int Reverse2(int v) {
    return ((v & 1) << 1) | ((v >> 1) & 1);
}
int ElevationRank(ivec2 c) {
    return 4 * (c.x ^ Reverse2(c.y)) + c.y;
}
int TurnRank(ivec2 c) {
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

// Tangent frame around N turned by the angle whose cosine and sine are cs.
mat3 KernelFrame(vec3 N, vec2 cs) {
    vec3 axis = abs(N.x) < 0.9 ? vec3(1.0, 0.0, 0.0) : vec3(0.0, 1.0, 0.0);
    vec3 T0 = normalize(axis - N * dot(axis, N));
    vec3 T = cs.x * T0 + cs.y * cross(N, T0);
    return mat3(T, cross(N, T), N);
}

// The pixel's turn: its sixteenth of a full turn, moved by the noise's
// x in [-1, 1] up to half a sixteenth either way. The small rotation uses
// the cubic Taylor terms (error below 1e-4 at 0.2 radians).
vec2 CellTurn(int cell, float noise) {
    float d = noise * kHalfCellTurn;
    vec2 r = vec2(1.0 - 0.5 * d * d, d - d * d * d / 6.0);
    vec2 c = kTurns[cell];
    return vec2(c.x * r.x - c.y * r.y, c.x * r.y + c.y * r.x);
}

// The sample with r^2 = 1 - z^2 moved by shift modulo 1, azimuth kept.
vec3 ShiftElevation(vec3 s, float shift) {
    float r2 = 1.0 - s.z * s.z;
    float moved = fract(r2 + shift);
    return vec3(s.xy * (sqrt(moved) * inversesqrt(max(r2, 1e-8))), sqrt(1.0 - moved));
}

// Whether the point E = (focal * X.xy, -X.z) is hidden by a surface Q that
// rises above P's tangent plane. The eye looks down -z: Q is nearer than X
// when Q.z > X.z = -E.z; the cleared G-buffer reads z = 0 where nothing was
// drawn; a point behind the eye (E.z <= 0, only within R of the near plane)
// has no texel and counts as open.
bool Hidden(vec3 E, vec3 Q, vec3 N, float planeP, float slack) {
    return Q.z > slack - E.z && Q.z < 0.0 && E.z > 0.0 && dot(N, Q) > planeP;
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
    // Everything drawn lies beyond the near plane (z < 0); the cleared
    // G-buffer reads z = 0. No geometry, no samples or no radius: open.
    bool covered = P.z < 0.0 && dot(N, N) > kMinNormalLength2 && ssaoRadius > 0.0;
    int count = covered ? min(ssaoKernelSize, kMaxSamples) : 0;
    int rays = (count + 1) / 2;

    N = normalize(N);
    N = dot(N, P) > 0.0 ? -N : N;
    // The tile is 4 x 4 (a power of two): the cell is a mask, since integer
    // division has no vector instruction and would run lane by lane.
    // The noise tile repeats under the nearest filter: the pixel's centre
    // over 4 falls in its texel (x mod 4, y mod 4).
    vec3 noise = texture(texSSAONoise, gl_FragCoord.xy * 0.25).xyz;
    ivec2 cell = TileCell(pixel, noise.z);
    float shift = (float(ElevationRank(cell)) + 0.5 + 0.5 * noise.y) / kTileCells;
    mat3 frame = KernelFrame(N, CellTurn(TurnRank(cell), noise.x));
    int parity = cell.y & 1; // the rows of one parity still hold every quarter

    // Clip x = p00 x + p20 z, w = -z, so NDC x = p00 x / (-z) - p20 and the
    // pixel is (NDC + 1) size / 2: focal = p00 size / 2 and
    // centre = (1 - p20) size / 2 (likewise for y).
    vec2 size = vec2(textureSize(texGPosition, 0));
    vec2 focal = vec2(projMatrix[0][0], projMatrix[1][1]) * 0.5 * size;
    vec2 centre = (1.0 - vec2(projMatrix[2][0], projMatrix[2][1])) * 0.5 * size;
    vec2 texel = 1.0 / size;
    // E = (focal * X.xy, -X.z) = base + t * toScreen * k for X = P + t R F k.
    vec3 base = vec3(focal * P.xy, -P.z);
    vec3 scale = vec3(focal, -1.0) * ssaoRadius;
    mat3 toScreen = mat3(scale * frame[0], scale * frame[1], scale * frame[2]);
    float slack = (length(P) + 2.0 * ssaoRadius) * kHalfFloatSlack;
    float planeP = dot(N, P) + slack;
    float perFade = 1.0 / (kSlabFade * ssaoRadius);

    float blocked = 0.0;
    for (int i = 0; i < rays; ++i) {
        vec3 K = toScreen * ShiftElevation(ssaoSamples[min(2 * i + parity, count - 1)], shift);
        vec3 Eh = base + kHalfWay * K;
        vec3 Er = base + K;
        vec3 Qh = texture(texGPosition, (Eh.xy / Eh.z + centre) * texel).xyz;
        vec3 Qr = texture(texGPosition, (Er.xy / Er.z + centre) * texel).xyz;
        bool hiddenH = Hidden(Eh, Qh, N, planeP, slack);
        bool hiddenR = Hidden(Er, Qr, N, planeP, slack);
        // sin(g) of the chord against the eye ray through Q_h: the slab is
        // 1 / sin(g) deeper along the ray, so a point `behind` its Q is
        // behind sin(g) across it. sin^2 = 1 - (c.q)^2 / (|c|^2 |q|^2),
        // without normalising either; both points on one texel give no chord.
        vec3 chord = Qr - Qh;
        float along = dot(chord, Qh);
        float span2 = dot(chord, chord) * dot(Qh, Qh);
        float across = hiddenH && hiddenR && span2 > 0.0
                           ? sqrt(max(1.0 - along * along / span2, kMinSin2))
                           : 1.0;
        // Fully inside up to kSlabSolid R across, none from kSlabSolid + kSlabFade.
        float perFadeAcross = perFade * across;
        float insideH = hiddenH ? clamp(kSlabEnd - (Qh.z + Eh.z) * perFadeAcross, 0.0, 1.0) : 0.0;
        float insideR = hiddenR ? clamp(kSlabEnd - (Qr.z + Er.z) * perFadeAcross, 0.0, 1.0) : 0.0;
        blocked += max(insideH, insideR);
    }
    fragOcclusion = 1.0 - blocked / float(max(rays, 1));
}
