// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <cstddef>
#include <vector>

// The surface of each star as a radius in a direction, and the transform of a surface point into
// picture coordinates. Lengths in units of the separation, angles in radians, frame as in Roche.h.

namespace corvane::roche {

// The unit direction of (Phi, Theta) in a star's body frame, as CT scales it:
// (cos Theta cos Phi, sin Theta cos Phi, sin Phi).
struct BodyDirection {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};
BodyDirection bodyDirection(double Phi, double Theta);

// Radii already computed, per grid cell: indices (i, j, k, star) with i the latitude index, j the
// longitude index, k the corner (0 for the refresh's own calls) and star 1 or 2. 0 means "not yet
// computed". Indices outside the sized grid are neither read nor stored. The same keys also hold
// each vertex's body direction, which depends on the grid alone.
class ShapeCache {
public:
    // Sizes (and clears) the table for a grid of latLines latitude lines.
    void resize(int latLines);
    void clear();
    // Counts the resizes and clears: a table built from this cache is current while it is the same.
    unsigned long long generation() const { return generation_; }
    double get(int i, int j, int k, int star) const;
    void put(int i, int j, int k, int star, double radius);
    // The cached direction of a vertex; false when there is none yet.
    bool getDirection(int i, int j, int k, int star, BodyDirection& out) const;
    void putDirection(int i, int j, int k, int star, const BodyDirection& d);

private:
    std::size_t index(int i, int j, int k, int star) const;
    bool inside(int i, int j, int k, int star) const;

    int ni_ = 0, nj_ = 0;
    static constexpr int nk_ = 6;
    // One entry per vertex key, the corners of a cell side by side and the cells of a band in order,
    // so a frame walks the table front to back instead of striding through it.
    struct Entry {
        double radius = 0; // 0: not computed yet
        BodyDirection direction{};
        bool haveDirection = false;
    };
    std::vector<Entry> entries_;
    unsigned long long generation_ = 0;
};

// What StarShape reads from the form: both pole radii, the mass ratio as typed (Val of the box)
// and the inner Lagrangian point of that mass ratio (RochePot must have run for it).
struct ShapeInputs {
    double Radius1 = 0.305;
    double Radius2 = 0.45;
    double QText = 2.4;
    double LagrangeX = 0.5;
};

// Scratch values of the last StarShape / StarSpinRadius call, under the form's names.
struct ShapeState {
    double CurRadius = 0.0;
    double ShapeQ = 0.0;
    double ShapeOffset = 0.0;
    double ShapePole = 0.0;
    double ShapePot = 0.0;
    double ShapeInv = 0.0;
    double DirX = 0.0;
    double DirZ = 0.0;
    int IterCount = 0;
    double RadiusPrev = 0.0;
    double RadiusChange = 0.0;
    double LastShapeRadius = 0.0;
    bool SpinUnstable = false; // set when a StarSpinRadius call did not settle; cleared by the caller
};

// Roche radius of star P (1 or 2) through its own pole p in the direction (Phi, Theta).
// Star 1 uses q = QText and the offset -pi/2, star 2 q = 1/QText and +pi/2; lambda = sin(offset +
// Theta) cos(Phi), nu = sin(Phi). The surface potential is that of the pole,
//   Omega = 1/p + q/sqrt(1 + p^2),
// and r solves Omega = 1/r + q (1/sqrt(1 - 2 lambda r + r^2) - lambda r) + (1+q)/2 (1 - nu^2) r^2
// by the fixed point r <- 1/(Omega - q/sqrt(1 - 2 lambda r + r^2) + q lambda r - (1+q)/2 (1-nu^2) r^2)
// from r = p, to a relative change of 0.0005 within 20 passes. A direction without a closed
// surface (an iterate that is negative, zero or not finite) or 20 passes fall back to the Lagrangian
// limit L = LagrangeX (star 1) or 1 - LagrangeX (star 2). On the half facing the companion a radius
// beyond L is clipped to L / cos(Phi), but never made larger than it was (near the poles that
// quotient grows without bound). The result is cached under (i, j, k, P) and read back from there
// unless bForce is true. A non-positive pole radius gives 0.
double StarShape(ShapeState& s, const ShapeInputs& in, ShapeCache& cache, int P, double Phi, double Theta, int i,
                 int j, int k, bool bForce);

// Radius of a single star flattened by its own rotation, in units of its polar radius, with
// R = 6.95e8 m, G = 6.672e-11, M = 1.989e30 kg and T = RotPeriodSec seconds:
//   r <- 1 / (1 - 0.5 r^2 R^3 4 pi^2 cos(Phi)^2 / (T^2 G M))
// to a relative change of 0.01 within 10 passes. Sets s.SpinUnstable when it does not settle, and
// returns the last iterate anyway; an iterate that is not positive and finite (spin beyond
// break-up) also counts as not settling, and the last positive one is returned. A period that is not positive and
// finite is taken as no rotation (radius 1).
double StarSpinRadius(ShapeState& s, double Phi, double RotPeriodSec);

// The view of one frame, as CT reads it.
struct ViewGeometry {
    bool Tidal = true;          // "Tidal Effects"
    bool TwoStars = true;       // "Star 2 Active"
    double RotPeriodSec = 0.3 * 24 * 3600;
    double ZoomScale = 1.0;     // picture units per unit separation
    double CentreX = 0.0;       // picture offset of the star's centre
    double CentreY = 0.0;
    float HalfWidth = 0.0f;     // half the picture's scale width and height, single precision
    float HalfHeight = 0.0f;
};

// A point of the picture: X the depth along the line of sight, Y horizontal, Z vertical.
struct ScreenPoint {
    double X = 0.0;
    double Y = 0.0;
    double Z = 0.0;
};

// The sines and cosines of one frame's view angles: e = Eta + pi/2, Iota and Gamma.
struct ViewTrig {
    double cosE = 1, sinE = 0, cosI = 1, sinI = 0, cosG = 1, sinG = 0;
    static ViewTrig of(double Eta, double Iota, double Gamma);
};

// The radius CT uses for star P in the direction (Phi, Theta): StarShape (tidal, two stars), half of
// StarSpinRadius (tidal, single star) or the pole radius (a sphere). Sets s.CurRadius.
double surfaceRadius(ShapeState& s, const ShapeInputs& in, ShapeCache& cache, const ViewGeometry& view, int P,
                     double Phi, double Theta, int i, int j, int k);

// Steps 3 to 7 of CT: the body point d * scale turned, inclined, tilted and placed on the picture.
ScreenPoint project(const BodyDirection& d, double scale, const ViewTrig& t, const ViewGeometry& view);

// Surface point of star P at (Phi, Theta) to picture coordinates, for the rotation angle Eta, the
// inclination Iota and the axis tilt Gamma. The radius r is StarShape (tidal, two stars), half of
// StarSpinRadius (tidal, single star) or the pole radius (a sphere). With s = 2 ZoomScale r:
//   body  B = (cos Theta cos Phi, sin Theta cos Phi, sin Phi) s
//   turn  e = Eta + pi/2:  Tx = -Bx cos e + By sin e;  Ty = Bx sin e + By cos e
//   tilt  X = Bz cos Iota + Tx sin Iota;  Z1 = Bz sin Iota - Tx cos Iota
//   axis  Y = Z1 sin Gamma - Ty cos Gamma + HalfWidth + CentreX
//         Z = Z1 cos Gamma + Ty sin Gamma + HalfHeight + CentreY
ScreenPoint CT(ShapeState& s, const ShapeInputs& in, ShapeCache& cache, const ViewGeometry& view, int P, double Phi,
               double Theta, double Eta, double Iota, double Gamma, int i, int j, int k);

} // namespace corvane::roche
