// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include "roche/StarShape.h"

#include <vector>

// The neck of a contact system: a surface of revolution about the line of centres. Neck
// coordinates: ZC along the line (star 1's centre at 0, star 2's at 1), Rho the distance from it,
// Phi the angle about it (Phi = 0 along the rotation axis). A neck point is, in star 1's frame,
//   x = ZC,  y = Rho sin Phi (in the orbital plane),  z = Rho cos Phi (along the rotation axis).

namespace corvane::roche {

// Pole radius of star 2 on the equipotential through star 1's pole: the r > 0 that solves
//   1/sqrt(1 + r^2) + q (1/r - 1) + (1 + q)/2 = Omega1,   Omega1 = 1/r1 + q/sqrt(1 + r1^2),
// i.e. the potential at (1, 0, r) in star 1's frame equals that at star 1's pole (0, 0, r1).
// The left side falls monotonically from +infinity (r -> 0) to (1 - q)/2 (r -> infinity), which is
// below Omega1 for every r1 <= 1, so the root exists and is unique. Solved by bisection on a
// bracket, polished by Newton steps that stay inside it. q is clamped as clampMassRatio says;
// a non-positive or non-finite r1 gives 0.
double RecommendedRadius2(double q, double radius1);

// The Roche potential of a neck point in a frame with mass ratio q (the star at the origin, its
// companion at x = 1):
//   Omega(ZC, Rho, Phi) = 1/sqrt(ZC^2 + Rho^2) + q (1/sqrt((1 - ZC)^2 + Rho^2) - ZC)
//                         + (1 + q)/2 (ZC^2 + Rho^2 sin^2 Phi)
double neckPotential(double q, double ZC, double Rho, double Phi);

// The smallest Rho > 0 with Omega(ZC, Rho, Phi) = target: the surface met going out from the line
// of centres. Found by stepping Rho outward until Omega drops below the target (a bracket), then
// bisecting it to 1e-9 (at most 80 passes). Where the line of centres itself is already outside
// the surface (Omega < target at Rho -> 0, a detached pair's gap) the result is MinNeckRadius;
// where no crossing is found within MaxNeckRadius (no closed surface) it is MaxNeckRadius. Never
// NaN, never below MinNeckRadius.
inline constexpr double MinNeckRadius = 1e-4;
inline constexpr double MaxNeckRadius = 1.5;
double neckRadius(double q, double target, double ZC, double Phi);

// What the neck is shaped from: the mass ratio, both pole radii and the inner Lagrangian point.
struct NeckInputs {
    double Q = 1.0;
    double Radius1 = 0.3;
    double Radius2 = 0.3;
    double LagrangeX = 0.5;
};

// Neck radii already computed, per grid point (i around, j along, k the corner); 0 is "not yet".
class NeckCache {
public:
    void resize(int lonLines);
    double get(int i, int j, int k) const;
    void put(int i, int j, int k, double rho);

private:
    int n_ = 0;
    std::vector<double> rho_;
};

// The neck radius at (ZC, Phi). On star 1's side (ZC <= LagrangeX) the surface is the equipotential
// through star 1's pole, in star 1's frame; on star 2's side the one through star 2's pole, in star
// 2's frame (ZC' = 1 - ZC, q' = 1/q). Each side thus meets its own star's surface; with the pole
// radii on one common surface ("Auto") the two sides are one surface. Cached under (i, j, k).
double NeckShape(const NeckInputs& in, NeckCache& cache, double Phi, double ZC, int i, int j, int k);

// The equipotential through star 1's pole, in star 1's frame, on both sides. At ZC = 1, Phi = 0 this
// is the pole radius of star 2 on that surface, the "Recommended" radius.
double NeckShape2(const NeckInputs& in, double Phi, double ZC);

// A neck point to picture coordinates, as CT does for star points: body point (-ZC, Rho sin Phi,
// Rho cos Phi) scaled by 2 ZoomScale, then turned, inclined, tilted and placed with CentreX, CentreY.
ScreenPoint CTN(double Rho, double Phi, double ZC, double Eta, double Iota, double Gamma, const ViewGeometry& view);

} // namespace corvane::roche
