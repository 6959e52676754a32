// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "Scene.h"

#include "CellLight.h"

#include "roche/Constants.h"

#include <algorithm>
#include <cmath>

namespace corvane::render {

using platform::pixelFromRgb;

void GranTable::fill(platform::UniformRandom& random) {
    for (int b = 0; b < Size; ++b) {
        for (int a = 0; a < Size; ++a) {
            values_[static_cast<std::size_t>(b) * Size + static_cast<std::size_t>(a)] = random.next();
        }
    }
}

namespace {

constexpr std::uint32_t White = 0xFFFFFF;
constexpr std::uint32_t Grey = 0x555555;

// Whole picture units, halves to the even neighbour; far-off points are pinned well outside the
// picture so the conversion to 32 bits stays defined.
std::int32_t toPixel(double v) {
    return static_cast<std::int32_t>(std::nearbyint(std::clamp(v, -1.0e8, 1.0e8)));
}

// 1/SubPixel units of a picture coordinate, to the nearest; far-off points pinned as toPixel does.
std::int32_t toSub(double v) {
    return static_cast<std::int32_t>(std::nearbyint(std::clamp(v, -4.0e6, 4.0e6) * platform::SubPixel));
}

int floorMod100(int v) { return v - 100 * static_cast<int>(std::floor(v / 100.0)); }

// Steps 1 to 6: centre, visibility, polygon points. False when the cell is not drawn.
bool placeCell(Scene& s, int TB, bool paint) {
    const auto& c = s.Corner;
    s.CellCentre = {(c[0].X + c[1].X + c[2].X + c[3].X) / 4, (c[0].Y + c[1].Y + c[2].Y + c[3].Y) / 4,
                    (c[0].Z + c[1].Z + c[2].Z + c[3].Z) / 4};
    const double ax = c[0].X - s.CellCentre.X, ay = c[0].Y - s.CellCentre.Y, az = c[0].Z - s.CellCentre.Z;
    const double bx = c[3].X - s.CellCentre.X, by = c[3].Y - s.CellCentre.Y, bz = c[3].Z - s.CellCentre.Z;
    const double aa = ax * ax + ay * ay + az * az;
    const double bb = bx * bx + by * by + bz * bz;
    const double ab = ax * bx + ay * by + az * bz;
    const double area2 = aa * bb - ab * ab;
    s.CosView = area2 > 0 ? (ay * bz - az * by) / std::sqrt(area2) : 0.0;
    if (!std::isfinite(s.CosView)) {
        s.CosView = 0.0;
    }
    if (TB == 0) {
        s.CosView = -s.CosView;
    }
    s.DotColor = s.CosView > 0 ? White : Grey;
    if (!(s.CosView > 0)) {
        return false;
    }
    if (paint) {
        // Corners 1 and 2, the upper edge's extra vertices, corners 3 and 4, the lower edge's.
        std::size_t n = 0;
        // A sealed cell is drawn from whole-pixel points (with its outline), any other from sub-pixel ones.
        const bool whole = s.SealCell;
        auto put = [&](const roche::ScreenPoint& p) {
            if (whole) {
                s.CellPoints[n++] = {toPixel(p.Y), toPixel(p.Z)};
            } else {
                s.CellSubPoints[n++] = {toSub(p.Y), toSub(p.Z)};
            }
        };
        put(c[0]);
        put(c[1]);
        for (int k = 0; k < s.UpperCount; ++k) {
            put(s.UpperEdge[static_cast<std::size_t>(k)]);
        }
        put(c[2]);
        put(c[3]);
        for (int k = 0; k < s.LowerCount; ++k) {
            put(s.LowerEdge[static_cast<std::size_t>(k)]);
        }
        s.CellCounts[0] = static_cast<std::int32_t>(n);
        return true;
    }
    for (std::size_t k = 0; k < 5; ++k) {
        s.CellPoints[k] = {toPixel(c[k].Y), toPixel(c[k].Z)};
    }
    s.CellCounts[0] = 5;
    return true;
}

// Steps 10 to 14: whole intensities, drawing mode, polygon and dot.
void paintCell(Scene& s, const SceneInputs& in) {
    for (double* v : {&s.CellR, &s.CellG, &s.CellB}) {
        *v = std::fabs(std::floor(*v * s.CellBright));
        // A negative limb-darkening coefficient brightens the centre beyond white: keep it white.
        if (*v > 255 || !std::isfinite(*v)) {
            *v = 255;
        }
    }
    const platform::Pixel colour = pixelFromRgb(static_cast<int>(s.CellR), static_cast<int>(s.CellG), static_cast<int>(s.CellB));
    const platform::Pixel fill = in.Mode == DrawMode::Paint ? colour : 0u;
    const platform::Pixel outline = in.Mode == DrawMode::Dots ? 0u : colour;
    const auto count = static_cast<std::size_t>(s.CellCounts[0]);
    const std::span<const platform::IntPoint> points(s.CellPoints.data(), count);
    if (in.Mode == DrawMode::Paint && !s.SealCell) {
        // The fill is watertight on its own: shared edges meet exactly (sub-pixel corners computed
        // once per vertex) and each pixel on one goes to exactly one cell. An outline would paint
        // outside the cell (every star half a pixel too big).
        s.Picture1.fillPolygon(std::span<const platform::SubPoint>(s.CellSubPoints.data(), count), fill);
    } else {
        s.Picture1.polygon(points, fill, outline);
    }
    if (in.Mode == DrawMode::Dots) {
        s.Picture1.circle(toPixel(s.CellCentre.Y), toPixel(s.CellCentre.Z), 1, platform::pixelFromColorRef(s.DotColor));
    }
    ++s.CellsDrawn;
}

double limbDarkened(double WW, double cosView) { return 1 - WW * std::fabs(1 - std::fabs(cosView)); }

} // namespace

void DrawCell(Scene& s, const SceneInputs& in, double /*R*/, double WW, double T, int TB, int i, int j, int StarNum,
              double Phi, double Theta) {
    ++s.CellsVisited;
    if (!placeCell(s, TB, in.Mode == DrawMode::Paint)) {
        return;
    }
    const bool shaded = lightShadesCells(in.Light);
    s.CellBright = shaded ? cellDarkening(in, StarNum, s.CosView) : limbDarkened(WW, s.CosView);
    if (in.Granulation) {
        s.CellBright *= 0.95 + 0.05 * s.Gran.at(floorMod100(i), floorMod100(j + 111 * TB));
    }
    const Rgb rgb = shaded ? cellColour(in, StarNum, Phi, Theta, T, &s.SpotDist)
                           : StarColor(T, StarNum, Phi, Theta, in.Colour, &s.SpotDist);
    s.CellR = rgb.R;
    s.CellG = rgb.G;
    s.CellB = rgb.B;
    paintCell(s, in);
}

void DrawNeckCell(Scene& s, const SceneInputs& in, double /*R*/, double WW, double T, int TB, int i, int j) {
    ++s.CellsVisited;
    // Neck sections overlap their neighbours; they have no extra edge vertices, and their ends meet
    // the stars' cut edges at vertices of their own.
    s.UpperCount = 0;
    s.LowerCount = 0;
    s.SealCell = true;
    if (!placeCell(s, TB, in.Mode == DrawMode::Paint)) {
        return;
    }
    if (lightShadesCells(in.Light)) {
        // Across the neck the law of the side the cell is on; its colour the band's of its temperature.
        s.CellBright = cellDarkening(in, s.NeckZ <= in.Shape.LagrangeX ? 1 : 2, s.CosView);
        if (in.Granulation) {
            s.CellBright *= 0.95 + 0.05 * s.Gran.at(floorMod100(i), floorMod100(j));
        }
        const Rgb rgb = temperatureColour(in, T);
        s.CellR = rgb.R;
        s.CellG = rgb.G;
        s.CellB = rgb.B;
        paintCell(s, in);
        return;
    }
    s.CellBright = limbDarkened(WW, s.CosView);
    if (in.Granulation) {
        s.CellBright *= 0.95 + 0.05 * s.Gran.at(floorMod100(i), floorMod100(j));
    }
    constexpr int NeckStarNum = 0; // never star 1: the neck never carries the spot
    const Rgb rgb = StarColor(T, NeckStarNum, s.CellPhi, s.CellTheta, in.Colour, &s.SpotDist);
    s.CellR = rgb.R;
    s.CellG = rgb.G;
    s.CellB = rgb.B;
    if (in.Colour.Stefan && T != in.Temp1 && T != in.Temp2) {
        auto scale = [&](double t) {
            if (t > 0) {
                const double r = T / t;
                const double f = (r * r) * (r * r);
                s.CellR *= f;
                s.CellG *= f;
                s.CellB *= f;
            }
        };
        if (in.Temp1 <= in.Temp2) {
            scale(in.Temp2);
        }
        if (in.Temp2 <= in.Temp1) {
            scale(in.Temp1);
        }
    }
    paintCell(s, in);
}

int BandSize(int N, int i, bool similarAreas) {
    return similarAreas ? static_cast<int>(std::floor(4.0 * N * std::cos(i * Pi / (2.0 * N)) + 0.5)) : 2 * N;
}

namespace {

// The star being drawn: its values into the Cur* variables, and CT for each of its corners, with the
// frame's view angles worked out once and each vertex's body direction kept with its cached radius.
class StarCorners {
public:
    StarCorners(Scene& s, const SceneInputs& in, int StarNum)
        : s_(s), in_(in), star_(StarNum == 1 ? 1 : 2), view_(in.View),
          trig_(roche::ViewTrig::of(in.Eta, in.Iota, in.Gamma)) {
        const bool one = star_ == 1;
        s.CurRadius = one ? in.Radius1 : in.Radius2;
        s.CurLimb = one ? in.Limb1 : in.Limb2;
        s.CurLatLines = one ? in.LatLines : in.LatLines2;
        s.CurTemp = one ? in.Temp1 : in.Temp2;
        view_.CentreX = s.CentreX;
        view_.CentreY = s.CentreY;
    }
    int latLines() const { return std::max(1, s_.CurLatLines); }

    // Corner k of the current cell at (cellPhi, cellTheta), cached under (i, j, k).
    void operator()(int k, double cellPhi, double cellTheta, int i, int j) {
        s_.CellPhi = cellPhi;
        s_.CellTheta = cellTheta;
        s_.Corner[static_cast<std::size_t>(k - 1)] = point(cellPhi, cellTheta, i, j, k);
    }

    // A mesh vertex's direction and radius under its cache keys (what point() projects).
    void body(double cellPhi, double cellTheta, int i, int j, int k, roche::BodyDirection& d, double& r) {
        r = roche::surfaceRadius(s_.Shape, in_.Shape, s_.ShapeCache, view_, star_, cellPhi, cellTheta, i, j, k);
        if (!s_.ShapeCache.getDirection(i, j, k, star_, d)) {
            d = roche::bodyDirection(cellPhi, cellTheta);
            s_.ShapeCache.putDirection(i, j, k, star_, d);
        }
    }
    roche::ScreenPoint project(const roche::BodyDirection& d, double r) const {
        return roche::project(d, 2.0 * view_.ZoomScale * r, trig_, view_);
    }
    int star() const { return star_; }

    // The picture point of a mesh vertex under its cache keys, by exactly the arithmetic every cell
    // sharing it uses, so all of them get bit-identical coordinates.
    roche::ScreenPoint point(double cellPhi, double cellTheta, int i, int j, int k) {
        const double r =
            roche::surfaceRadius(s_.Shape, in_.Shape, s_.ShapeCache, view_, star_, cellPhi, cellTheta, i, j, k);
        roche::BodyDirection d;
        if (!s_.ShapeCache.getDirection(i, j, k, star_, d)) {
            d = roche::bodyDirection(cellPhi, cellTheta);
            s_.ShapeCache.putDirection(i, j, k, star_, d);
        }
        return roche::project(d, 2.0 * view_.ZoomScale * r, trig_, view_);
    }

private:
    Scene& s_;
    const SceneInputs& in_;
    int star_;
    roche::ViewGeometry view_;
    roche::ViewTrig trig_;
};

// The positions jj of a neighbouring band of nbM cells that lie strictly between positions j and
// j + 1 of a band of M cells (j M' < jj M < (j + 1) M'): writes pointOf(jj) for each into out, in
// ascending order or descending, and returns how many.
template <typename PointOf>
int edgeVertices(std::array<roche::ScreenPoint, Scene::MaxEdgeVertices>& out, int nbM, int j, int M, bool descending,
                 const PointOf& pointOf) {
    int count = 0;
    if (nbM <= 0 || M <= 0) {
        return 0;
    }
    for (long long jj = static_cast<long long>(j) * nbM / M + 1;
         jj * M < static_cast<long long>(j + 1) * nbM && count < Scene::MaxEdgeVertices; ++jj) {
        if (jj * M > static_cast<long long>(j) * nbM) {
            out[static_cast<std::size_t>(count++)] = pointOf(static_cast<int>(jj));
        }
    }
    if (descending) {
        std::reverse(out.begin(), out.begin() + count);
    }
    return count;
}

} // namespace

namespace {

// Every point of the current cell lies inside the occluder's certain disc.
bool hidden(const Scene& s) {
    const double r2 = s.OccluderRadius * s.OccluderRadius;
    auto inside = [&](const roche::ScreenPoint& p) {
        const double dx = p.Y - s.OccluderX;
        const double dy = p.Z - s.OccluderY;
        return dx * dx + dy * dy < r2;
    };
    for (int k = 0; k < 4; ++k) {
        if (!inside(s.Corner[static_cast<std::size_t>(k)])) {
            return false;
        }
    }
    for (int k = 0; k < s.UpperCount; ++k) {
        if (!inside(s.UpperEdge[static_cast<std::size_t>(k)])) {
            return false;
        }
    }
    for (int k = 0; k < s.LowerCount; ++k) {
        if (!inside(s.LowerEdge[static_cast<std::size_t>(k)])) {
            return false;
        }
    }
    return true;
}

// "Paint" for a detached star: as MakeStar's loops, but every vertex of the mesh is projected once
// per frame (into s.RingPoints) and each cell takes its four corners and its neighbours' edge
// vertices from there, so shared vertices are bit-identical by construction. Corner 5 is not
// needed to paint; the cell's latitude and longitude still name it for the colour, as before.
void paintStar(Scene& s, const SceneInputs& in, int StarNum, StarCorners& corner, int N) {
    auto phi = [&](double x) { return x * Pi / (2.0 * N); };
    std::vector<int>& offsets = s.RingOffsets;
    std::vector<roche::ScreenPoint>& points = s.RingPoints;
    // The directions and radii are the shape's: worked out once per shape, projected every frame.
    Scene::RingTable& table = s.Rings[static_cast<std::size_t>(corner.star() - 1)];
    const bool current = table.generation == s.ShapeCache.generation() && table.N == N &&
                         table.simAreas == in.SimAreas && table.tidal == in.View.Tidal &&
                         table.twoStars == in.View.TwoStars && table.radius1 == in.Shape.Radius1 &&
                         table.radius2 == in.Shape.Radius2 && table.rotPeriod == in.View.RotPeriodSec &&
                         table.qText == in.Shape.QText && table.lagrangeX == in.Shape.LagrangeX;
    if (!current) {
        table.direction.clear();
        table.radius.clear();
    }
    std::size_t tableAt = 0;
    auto vertex = [&](double vPhi, double vTheta, int i, int j, int k) {
        if (!current) {
            roche::BodyDirection d;
            double r = 0;
            corner.body(vPhi, vTheta, i, j, k, d, r);
            table.direction.push_back(d);
            table.radius.push_back(r);
        }
        const std::size_t at = tableAt++;
        points.push_back(corner.project(table.direction[at], table.radius[at]));
    };
    for (int hemisphere = 0; hemisphere < 2; ++hemisphere) {
        const bool north = hemisphere == 0;
        const double sign = north ? 1.0 : -1.0;
        // Band b's lower ring j = 0..M at offsets[2b] + j, its upper ring at offsets[2b + 1] + j.
        offsets.assign(static_cast<std::size_t>(2 * N + 1), 0);
        points.clear();
        for (int b = 0; b < N; ++b) {
            const int M = BandSize(N, b, in.SimAreas);
            const int key = north ? 0 : M;
            auto theta = [&](double x) { return TwoPi * x / M - HalfPi; };
            offsets[static_cast<std::size_t>(2 * b)] = static_cast<int>(points.size());
            for (int j = 0; j < M; ++j) {
                vertex(sign * phi(b), theta(j), b, j + key, 1);
            }
            vertex(sign * phi(b), theta(M), b, M - 1 + key, 4);
            offsets[static_cast<std::size_t>(2 * b + 1)] = static_cast<int>(points.size());
            for (int j = 0; j < M; ++j) {
                vertex(sign * phi(b + 1), theta(j), b, j + key, 2);
            }
            vertex(sign * phi(b + 1), theta(M), b, M - 1 + key, 3);
        }
        auto lower = [&](int b, int j) { return points[static_cast<std::size_t>(offsets[static_cast<std::size_t>(2 * b)] + j)]; };
        auto upper = [&](int b, int j) { return points[static_cast<std::size_t>(offsets[static_cast<std::size_t>(2 * b + 1)] + j)]; };
        for (int step = 0; step < N; ++step) {
            const int i = north ? N - 1 - step : step;
            s.LatIndex = i;
            s.CellPhi = phi(i);
            const int M = s.LonCount = BandSize(N, i, in.SimAreas);
            auto theta = [&](double x) { return TwoPi * x / M - HalfPi; };
            const int above = i + 1 < N ? BandSize(N, i + 1, in.SimAreas) : 0;
            const int below = i > 0 ? BandSize(N, i - 1, in.SimAreas) : 0;
            for (int j = 0; j < M; ++j) {
                s.LonIndex = j;
                s.Corner[0] = lower(i, j);
                s.Corner[1] = upper(i, j);
                s.Corner[2] = upper(i, j + 1);
                s.Corner[3] = lower(i, j + 1);
                s.CellPhi = north ? phi(i - 1) : -phi(i);
                s.CellTheta = theta(j + 0.5);
                // The band above's lower ring and the band below's upper ring, where they meet this cell.
                s.UpperCount = edgeVertices(s.UpperEdge, above, j, M, false, [&](int jj) { return lower(i + 1, jj); });
                s.LowerCount = edgeVertices(s.LowerEdge, below, j, M, true, [&](int jj) { return upper(i - 1, jj); });
                if (s.OccluderRadius > 0 && hidden(s)) {
                    ++s.CellsVisited; // behind the nearer star's disc: it would be painted over
                    continue;
                }
                DrawCell(s, in, s.CurRadius, s.CurLimb, s.CurTemp, north ? 0 : 1, i, j, StarNum, s.CellPhi, s.CellTheta);
            }
        }
    }
    if (!current) {
        table.generation = s.ShapeCache.generation();
        table.N = N;
        table.simAreas = in.SimAreas;
        table.tidal = in.View.Tidal;
        table.twoStars = in.View.TwoStars;
        table.radius1 = in.Shape.Radius1;
        table.radius2 = in.Shape.Radius2;
        table.rotPeriod = in.View.RotPeriodSec;
        table.qText = in.Shape.QText;
        table.lagrangeX = in.Shape.LagrangeX;
    }
}

} // namespace

void MakeStar(Scene& s, const SceneInputs& in, int StarNum) {
    s.SealCell = false;
    StarCorners corner(s, in, StarNum);
    const int N = corner.latLines();
    auto phi = [&](double x) { return x * Pi / (2.0 * N); };
    const bool paint = in.Mode == DrawMode::Paint;
    s.UpperCount = 0;
    s.LowerCount = 0;
    if (paint) {
        paintStar(s, in, StarNum, corner, N);
        s.UpperCount = 0;
        s.LowerCount = 0;
        return;
    }
    // "Grid" and "Dots": the five corners of each cell.

    for (int i = N - 1; i >= 0; --i) {
        s.LatIndex = i;
        s.CellPhi = phi(i);
        const int M = s.LonCount = BandSize(N, i, in.SimAreas);
        auto theta = [&](double x) { return TwoPi * x / M - HalfPi; };
        for (int j = 0; j < M; ++j) {
            s.LonIndex = j;
            corner(1, phi(i), theta(j), i, j);
            corner(2, phi(i + 1), theta(j), i, j);
            corner(3, phi(i + 1), theta(j + 1), i, j);
            corner(4, phi(i), theta(j + 1), i, j);
            corner(5, phi(i - 1), theta(j + 0.5), i, j);
            DrawCell(s, in, s.CurRadius, s.CurLimb, s.CurTemp, 0, i, j, StarNum, s.CellPhi, s.CellTheta);
        }
    }
    for (int i = 0; i < N; ++i) {
        s.LatIndex = i;
        s.CellPhi = phi(i);
        const int M = s.LonCount = BandSize(N, i, in.SimAreas);
        auto theta = [&](double x) { return TwoPi * x / M - HalfPi; };
        for (int j = 0; j < M; ++j) {
            s.LonIndex = j;
            corner(1, -phi(i), theta(j), i, j + M);
            corner(2, -phi(i + 1), theta(j), i, j + M);
            corner(3, -phi(i + 1), theta(j + 1), i, j + M);
            corner(4, -phi(i), theta(j + 1), i, j + M);
            corner(5, -phi(i), theta(j + 0.5), i, j + M);
            DrawCell(s, in, s.CurRadius, s.CurLimb, s.CurTemp, 1, i, j, StarNum, s.CellPhi, s.CellTheta);
        }
    }
}

void MakeStarContact(Scene& s, const SceneInputs& in, int StarNum) {
    StarCorners corner(s, in, StarNum);
    const int N = corner.latLines();
    const bool one = StarNum == 1;
    auto phi = [&](double x) { return x * Pi / (2.0 * N); };
    auto bandSize = [&](int i) {
        return in.SimAreas ? static_cast<int>(std::floor(4.0 * N * std::cos(phi(i)) + 0.5)) : N;
    };
    const bool paint = in.Mode == DrawMode::Paint;
    auto gridTheta = [](int x, int m) { return TwoPi * static_cast<double>(x) / (2.0 * m) - HalfPi; };
    s.UpperCount = 0;
    s.LowerCount = 0;

    for (int half = 0; half < 2; ++half) {
        const bool north = half == 0;
        for (int step = 0; step < N; ++step) {
            const int i = north ? N - 1 - step : step;
            s.LatIndex = i;
            s.CellPhi = phi(i);
            const int M = s.LonCount = bandSize(i);
            auto theta = [&](double x) { return TwoPi * x / (2.0 * M) - HalfPi; };
            const double sign = north ? 1.0 : -1.0;
            for (int j = one ? 0 : M; j < (one ? M : 2 * M); ++j) {
                s.LonIndex = j;
                s.SealCell = j == 0 || j == M - 1 || j == M || j == 2 * M - 1; // along the cut edge
                const int key = north ? j : j + M;
                corner(1, sign * phi(i), theta(j), i, key);
                corner(2, sign * phi(i + 1), theta(j), i, key);
                corner(3, sign * phi(i + 1), theta(j + 1), i, key);
                corner(4, sign * phi(i), theta(j + 1), i, key);
                corner(5, north ? phi(i - 1) : -phi(i), theta(j + 0.5), i, key);
                if (paint) {
                    const int above = i + 1 < N ? bandSize(i + 1) : 0;
                    const int below = i > 0 ? bandSize(i - 1) : 0;
                    // The neighbours' corners 1 (band above) and 2 (band below) on this cell's edges.
                    s.UpperCount = edgeVertices(s.UpperEdge, above, j, M, false, [&](int jj) {
                        return corner.point(sign * phi(i + 1), gridTheta(jj, above), i + 1, jj + (north ? 0 : above), 1);
                    });
                    s.LowerCount = edgeVertices(s.LowerEdge, below, j, M, true, [&](int jj) {
                        return corner.point(sign * phi(i), gridTheta(jj, below), i - 1, jj + (north ? 0 : below), 2);
                    });
                }
                DrawCell(s, in, s.CurRadius, s.CurLimb, s.CurTemp, north ? 0 : 1, i, j, StarNum, s.CellPhi,
                         s.CellTheta);
            }
        }
    }
}

double NeckTemperature(double NeckZ, double LagrangeX, double Temp1, double Temp2, double sideTemp) {
    if (std::fabs(NeckZ - LagrangeX) < 0.05) {
        return Temp1 + (Temp2 - Temp1) * ((NeckZ - LagrangeX) + 0.05) / 0.1;
    }
    return sideTemp;
}

void MakeNeck(Scene& s, const SceneInputs& in, int /*StarNum*/) {
    s.NeckRho = in.Radius1;
    // The neck is laid out from star 1's centre.
    placeStar(s, in, 1);
    roche::ViewGeometry view = in.View;
    view.CentreX = s.CentreX;
    view.CentreY = s.CentreY;
    const roche::NeckInputs neck{in.Shape.QText, in.Radius1, in.Radius2, in.Shape.LagrangeX};
    const int L = std::max(1, in.LonLines);
    // Star 2 is behind when cos(Eta + pi/2) > 0 (as DrawStar decides): then start from its end.
    const bool fromStar2 = std::cos(in.Eta + HalfPi) > 0;

    auto corner = [&](int k, double angle, double zc, int i, int j) {
        s.NeckZ = zc;
        s.CellTheta = angle;
        // Each side takes its own star's values.
        const bool side1 = zc <= in.Shape.LagrangeX;
        s.CurRadius = side1 ? in.Radius1 : in.Radius2;
        s.CurLimb = side1 ? in.Limb1 : in.Limb2;
        s.CurLatLines = side1 ? in.LatLines : in.LatLines2;
        s.CurTemp = side1 ? in.Temp1 : in.Temp2;
        s.NeckRho = roche::NeckShape(neck, s.NeckCache, angle, zc, i, j, k);
        s.Corner[static_cast<std::size_t>(k - 1)] = roche::CTN(s.NeckRho, angle, zc, in.Eta, in.Iota, in.Gamma, view);
    };
    for (int step = 0; step < L; ++step) {
        const int j = fromStar2 ? L - 1 - step : step;
        for (int i = 0; i < L; ++i) {
            const double a0 = TwoPi * i / L;
            const double a1 = TwoPi * (i + 1) / L;
            const double zHigh = (j + 1.1) / L;
            const double zLow = (j - 0.1) / L;
            corner(1, a1, zHigh, i, j);
            corner(2, a0, zHigh, i, j);
            corner(3, a0, zLow, i, j);
            corner(4, a1, zLow, i, j);
            corner(5, a1, zLow, i, j);
            s.CurTemp = NeckTemperature(s.NeckZ, in.Shape.LagrangeX, in.Temp1, in.Temp2, s.CurTemp);
            DrawNeckCell(s, in, s.CurRadius, s.CurLimb, s.CurTemp, 1, i, j);
        }
    }
}

void placeStar(Scene& s, const SceneInputs& in, int StarNum) {
    const double a = in.Eta + HalfPi;
    const double z = in.View.ZoomScale;
    const double q = in.QRatio;
    const double cosI = std::cos(in.Iota);
    // Star 2 sits 2/(1+q), star 1 2q/(1+q) units of ZoomScale from the centre of mass, on opposite sides.
    const double share = StarNum == 1 ? -2 * q / (1 + q) : 2 / (1 + q);
    const double x = z * std::sin(a) * share;
    const double y = -z * std::cos(a) * cosI * share;
    // The axis tilt turns the whole binary as one body: the centres turn with the stars' surfaces
    // (the same rotation the point transform applies), so the tidal points keep facing each other.
    const double cosG = std::cos(in.Gamma);
    const double sinG = std::sin(in.Gamma);
    s.CentreX = x * cosG + y * sinG;
    s.CentreY = y * cosG - x * sinG;
}

void DrawStar(Scene& s, const SceneInputs& in) {
    s.Picture1.clear();
    s.CellsVisited = 0;
    s.CellsDrawn = 0;
    s.CentreX = 0;
    s.CentreY = 0;
    if (!in.TwoStars) {
        MakeStar(s, in, 1);
        return;
    }
    const double cosA = std::cos(in.Eta + HalfPi);
    auto placeStar2 = [&] { placeStar(s, in, 2); };
    auto placeStar1 = [&] { placeStar(s, in, 1); };
    // The nearer star of a detached pair covers a disc for certain: the farther one's cells inside
    // it need not be painted. Its radius: the smallest radius of the nearer star's mesh (from its
    // kept table, so only once that is current), shrunk by the largest chord's sag and a pixel.
    s.OccluderRadius = 0;
    const int nearer = cosA > 0 ? 1 : 2;
    const Scene::RingTable& near = s.Rings[static_cast<std::size_t>(nearer - 1)];
    const int nearN = std::max(1, nearer == 1 ? in.LatLines : in.LatLines2);
    if (!in.Neck && in.Mode == DrawMode::Paint && !near.radius.empty() &&
        near.generation == s.ShapeCache.generation() && near.N == nearN && near.simAreas == in.SimAreas &&
        near.tidal == in.View.Tidal && near.twoStars == in.View.TwoStars && near.radius1 == in.Shape.Radius1 &&
        near.radius2 == in.Shape.Radius2 && near.qText == in.Shape.QText && near.lagrangeX == in.Shape.LagrangeX) {
        const double rMin = *std::min_element(near.radius.begin(), near.radius.end());
        placeStar(s, in, nearer);
        const double inner = 2.0 * in.View.ZoomScale * rMin * std::cos(Pi / nearN) - 1.5;
        if (inner > 0 && std::isfinite(inner)) {
            s.OccluderX = static_cast<double>(in.View.HalfWidth) + s.CentreX;
            s.OccluderY = static_cast<double>(in.View.HalfHeight) + s.CentreY;
            s.OccluderRadius = inner;
        }
    }
    auto body = [&](int star) { in.Neck ? MakeStarContact(s, in, star) : MakeStar(s, in, star); };
    if (cosA > 0) {
        placeStar2();
        body(2);
        s.OccluderRadius = 0;
        if (in.Neck) {
            MakeNeck(s, in, 2);
        }
        placeStar1();
        body(1);
    } else {
        placeStar1();
        body(1);
        s.OccluderRadius = 0;
        if (in.Neck) {
            MakeNeck(s, in, 1);
        }
        placeStar2();
        body(2);
    }
}

} // namespace corvane::render
