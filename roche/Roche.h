// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

// Roche potential, inner Lagrangian point and equipotential radii.
//
// Frame: lengths in units of the separation of the two star centres. The star being measured sits
// at the origin, the other star at x = 1; z is the rotation axis. A direction is given by the
// latitude Phi (pole at +pi/2) and the angle Theta about the axis (plus an offset P), with direction
// cosines lambda = cos(Phi) sin(Theta + P) towards the other star and nu = sin(Phi) along the axis.
// q is the mass of the other star over the mass of the star at the origin.
//
//   Omega(r) = 1/r + q (1/sqrt(1 - 2 lambda r + r^2) - lambda r) + (1 + q)/2 r^2 (1 - nu^2)

namespace corvane::roche {

// Mass ratios the kernels work with. Below the low end there is no inner Lagrangian point to
// speak of (q = 0 puts it at the other star's centre); above the high end the curvature of the
// potential at the Lagrangian point overflows a double. A q outside, or not finite, is taken as
// the nearer end (NaN as the low end).
inline constexpr double MinMassRatio = 0.001;
inline constexpr double MaxMassRatio = 1000.0;
double clampMassRatio(double q);

// State shared by RochePot and StarRadius; the names are the form's.
struct RocheState {
    double Q = 1.0;            // mass ratio read by RochePot
    double LagrangeX = 0.5;    // x of the inner Lagrangian point, 0 < x < 1
    double OmegaCrit = 3.75;   // potential at LagrangeX
    double PotSlope = 0.0;     // dOmega/dx on the axis at the last Newton point
    double PotCurve = 0.0;     // its derivative
    int IterCount = 0;         // passes of the last iteration loop
    double CurRadius = 0.5;    // first trial radius of StarRadius
    double DirX = 0.0;         // lambda of the last StarRadius call
    double DirZ = 0.0;         // nu of the last StarRadius call
    double RadiusPrev = 0.0;
    double RadiusChange = 0.0;
};

// Inner Lagrangian point by Newton's method on the axial force, from x = 0.5:
//   f(x)  = -1/x^2 - q (1 + (x - 1)/(1 - 2x + x^2)^1.5) + (1 + q) x          (PotSlope)
//   f'(x) =  2/x^3 + 2q/(1 - 2x + x^2)^1.5 + (1 + q)                          (PotCurve)
//   x <- x - f/f'
// One step, then passes until the correction |f/f'| is below 0.0005 or 50 passes are done (Newton's
// quadratic convergence leaves x within about 1e-7 of the root then). Taken signed, as it once was,
// the test ended the search after one pass for q < 1, where x grows, and left x 0.003 to 0.006 out.
// Then OmegaCrit = 1/x + q (1/sqrt(1 - 2x + x^2) - x) + 0.5 (q + 1) x^2.
// Reads s.Q (clamped as clampMassRatio says); writes LagrangeX, OmegaCrit, PotSlope, PotCurve,
// IterCount. A step that would leave (0, 1) or is not finite goes half way to the bound instead.
void RochePot(RocheState& s);

// Radius of the equipotential Omega in the direction (Phi, Theta + P) by the fixed point
//   r <- 1 / (Omega - q (1/sqrt(1 - 2 r lambda + r^2) - r lambda) - (q + 1)/2 (1 - nu^2) r^2)
// from r = 0.5, until the relative change is below 0.0005 or 20 passes are done (not reported).
// Writes CurRadius, DirX, DirZ, IterCount, RadiusPrev, RadiusChange. A potential below the lobe
// value may give a negative or oscillating result, as the iteration does; an iterate that is not
// finite ends the loop and the previous iterate is returned.
double StarRadius(RocheState& s, double Omega, double QQ, double P, double Phi, double Theta);

} // namespace corvane::roche
