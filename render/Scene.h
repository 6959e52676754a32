// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include "light/LightSettings.h"
#include "platform/Canvas.h"
#include "platform/UniformRandom.h"
#include "render/StarColor.h"
#include "roche/NeckShape.h"
#include "roche/Orbit.h"
#include "roche/StarShape.h"

#include <array>
#include <cstdint>
#include <vector>

// Drawing the stars: cells, the latitude-longitude mesh of each star and the scene of one frame.
// Picture coordinates are pixels of Picture1, x to the right and y down; the depth X grows towards
// the viewer. Angles in radians.

namespace corvane::render {

enum class DrawMode { Paint, Grid, Dots };

// Granulation factors: 101 x 101 numbers in [0, 1), zero until first filled.
class GranTable {
public:
    static constexpr int Size = 101;
    void fill(platform::UniformRandom& random); // column by column: for each b, every a
    double at(int a, int b) const { return values_[static_cast<std::size_t>(b) * Size + static_cast<std::size_t>(a)]; }

private:
    std::array<double, Size * Size> values_{};
};

// Everything a frame is drawn from, set by the refresh.
struct SceneInputs {
    double Radius1 = 0.305, Radius2 = 0.45;
    double Limb1 = 0.5, Limb2 = 0.5;
    double Temp1 = 8200, Temp2 = 8200;
    int LatLines = 5, LatLines2 = 5;
    int LonLines = 20;
    double Eta = 0, Iota = 0, Gamma = 0;
    double QRatio = 2.4;
    bool TwoStars = true;   // "Star 2 Active"
    bool Neck = false;      // "Contact Neck"
    bool SimAreas = true;   // "Similar Areas"
    bool Granulation = false;
    DrawMode Mode = DrawMode::Paint;
    ColourSettings Colour;
    light::LightSettings Light; // the precise photometry's passband, law and third light
    // The orbit. An eccentric one is drawn and measured through precise/OrbitScene: Eta is then the
    // mean anomaly's turn, 2 pi (phase + 1/4), and the radii are in units of the semi-major axis.
    roche::OrbitSettings Orbit;
    roche::ShapeInputs Shape;
    roche::ViewGeometry View; // CentreX/CentreY and the half sizes are set while drawing
};

// The state the drawing procedures share, under the form's names.
struct Scene {
    platform::Canvas Picture1{800, 500};
    GranTable Gran;
    roche::ShapeCache ShapeCache;
    roche::ShapeState Shape;
    roche::NeckCache NeckCache;
    double NeckRho = 0;
    double NeckZ = 0;

    std::array<roche::ScreenPoint, 5> Corner{}; // Corner1..Corner5
    roche::ScreenPoint CellCentre;
    double CosView = 0;
    std::uint32_t DotColor = 0;   // colour reference
    double CellBright = 0;
    double CellR = 0, CellG = 0, CellB = 0;
    std::array<platform::IntPoint, platform::Canvas::MaxPolygonPoints> CellPoints{};
    std::array<platform::SubPoint, platform::Canvas::MaxPolygonPoints> CellSubPoints{}; // "Paint": sub-pixel corners
    // "Paint" only: the neighbouring bands' vertices that lie on this cell's upper (corner 2 to 3) and
    // lower (corner 4 to 1) edges, in that walking order. With them the cell's outline is exactly its
    // neighbours', so the fill alone is watertight where bands of different cell counts meet.
    static constexpr int MaxEdgeVertices = 6;
    std::array<roche::ScreenPoint, MaxEdgeVertices> UpperEdge{};
    std::array<roche::ScreenPoint, MaxEdgeVertices> LowerEdge{};
    int UpperCount = 0;
    int LowerCount = 0;
    // The cell meets a part of the mesh whose vertices it does not share (a contact star's cut edge
    // and the neck): there "Paint" also outlines it, so no sliver opens between the two.
    bool SealCell = false;
    // "Paint": the picture points of every vertex of a star's mesh for the current frame, each
    // computed once: for each band the points of its lower and upper rings on its own grid.
    std::vector<roche::ScreenPoint> RingPoints;
    std::vector<int> RingOffsets;
    // Per star, the mesh vertices' directions and radii, which change only with the shape: kept
    // from frame to frame while the shape cache and the inputs that shape the star stay the same.
    struct RingTable {
        unsigned long long generation = ~0ULL;
        int N = -1;
        bool simAreas = false, tidal = false, twoStars = false;
        double radius1 = -1, radius2 = -1, rotPeriod = -1, qText = -1, lagrangeX = -1;
        std::vector<roche::BodyDirection> direction;
        std::vector<double> radius;
    };
    std::array<RingTable, 2> Rings;
    // While the farther star is drawn: the nearer star's picture centre and a radius inside which
    // its painted disc is certain to cover everything (0: none). Cells wholly inside are skipped.
    double OccluderX = 0, OccluderY = 0, OccluderRadius = 0;
    std::array<std::int32_t, 1> CellCounts{5};
    double SpotDist = 0;

    double CurRadius = 0, CurLimb = 0, CurTemp = 0;
    int CurLatLines = 0;
    int LatIndex = 0, LonIndex = 0, LonCount = 0;
    double CellPhi = 0, CellTheta = 0;
    double CentreX = 0, CentreY = 0;
    int CellsVisited = 0; // cells handed to DrawCell in the last frame
    int CellsDrawn = 0;   // of those, the visible ones that were painted
};

// Cells in the band at latitude index i of a star with N latitude lines: floor(4N cos(i pi / 2N) + 0.5)
// with "Similar Areas", else 2N.
int BandSize(int N, int i, bool similarAreas);

// One star cell from Corner1..Corner5 (set by the caller):
//   centre C = mean of corners 1..4;  a = Corner1 - C, b = Corner4 - C
//   CosView = (a.Y b.Z - a.Z b.Y) / sqrt(|a|^2 |b|^2 - (a.b)^2), negated for TB = 0 (northern half)
// A cell with CosView <= 0 (or degenerate) faces away and is not drawn. Otherwise its brightness is
//   CellBright = 1 - WW |1 - |CosView||  (times 0.95 + 0.05 Gran(i mod 100, (j + 111 TB) mod 100)
// with granulation), each channel of StarColor(T, StarNum, Phi, Theta) becomes |floor(v CellBright)|,
// capped at 255, and the five corners, rounded half to even, are painted in the drawing mode:
// "Paint" filled in the colour (corners 1 to 4 with the neighbouring bands' vertices on its edges,
// UpperEdge and LowerEdge, so that cells meet without gaps and nothing outside a cell is painted),
// "Grid" black outlined in the colour (the five corners), "Dots" black with a white dot of radius 1
// at the centre. R is the pole radius (unused).
void DrawCell(Scene& s, const SceneInputs& in, double R, double WW, double T, int TB, int i, int j, int StarNum,
              double Phi, double Theta);

// A neck cell: as DrawCell with granulation Gran(i mod 100, j mod 100), never the spot, and with the
// Stefan-Boltzmann option an extra (T / Temp2)^4 when Temp1 <= Temp2 and (T / Temp1)^4 when
// Temp2 <= Temp1 for a T equal to neither star's.
void DrawNeckCell(Scene& s, const SceneInputs& in, double R, double WW, double T, int TB, int i, int j);

// Star StarNum (1, or anything else for star 2) as a latitude-longitude mesh of N = its latitude
// lines: northern bands from the pole to the equator, then southern bands back to the pole. A band
// at latitude index i has M = floor(4N cos(i pi / 2N) + 0.5) cells with "Similar Areas", else 2N.
// Each cell's corners go through CT with the cache keys (i, j, k), southern ones with (i, j + M, k).
void MakeStar(Scene& s, const SceneInputs& in, int StarNum);

// A contact star: MakeStar over the hemisphere facing away from the companion only. Bands have
// M = floor(4N cos(CellPhi) + 0.5) cells with "Similar Areas", else N; longitudes run
// theta(x) = 2 pi x / 2M - pi/2 with x = j for star 1 (j = 0..M-1) and x = j for star 2 (j = M..2M-1).
void MakeStarContact(Scene& s, const SceneInputs& in, int StarNum);

// The neck between the stars of a contact system, placed in star 1's frame: LonLines sections along
// the line of centres, each of LonLines cells around it, the farther sections first; each section
// overlaps its neighbours by 0.1 of a section. Cells within 0.05 of the inner Lagrangian point blend
// the two temperatures linearly across it.
void MakeNeck(Scene& s, const SceneInputs& in, int StarNum);

// The temperature of a neck cell whose last corner lies at NeckZ: within 0.05 of the inner
// Lagrangian point a linear blend, Temp1 + (Temp2 - Temp1) ((NeckZ - LagrangeX) + 0.05) / 0.1 (the
// mean of the two exactly at the point); elsewhere sideTemp, the temperature of its side's star.
double NeckTemperature(double NeckZ, double LagrangeX, double Temp1, double Temp2, double sideTemp);

// Sets CentreX, CentreY to the picture offset of star StarNum's centre for the frame of in (Eta,
// Iota, the tilt Gamma, ZoomScale): about the centre of mass, turned with the tilt.
void placeStar(Scene& s, const SceneInputs& in, int StarNum);

// One frame: clears Picture1 and draws the farther star first, each about its place around the
// centre of mass (star 2 at 2/(1+q), star 1 at 2q/(1+q) picture units of ZoomScale from it, the
// vertical offsets foreshortened by cos Iota, then both offsets turned by the axis tilt Gamma as the
// stars' surfaces are), or the single star at the centre.
void DrawStar(Scene& s, const SceneInputs& in);

} // namespace corvane::render
