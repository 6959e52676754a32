// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

// Roche-lobe radii solved to full precision, by methods that always converge. Frame, units and
// the potential are those of Roche.h:
//
//   Omega(r) = 1/r + q (1/sqrt(1 - 2 lambda r + r^2) - lambda r) + (1 + q)/2 r^2 (1 - nu^2)

namespace corvane::roche {

// The potential above at distance r in the direction (lambda, nu).
double RochePotentialAt(double q, double r, double lambda, double nu);

// The inner Lagrangian point: the root in (0, 1) of the axial force
//   dOmega/dx = -1/x^2 + q (1/(1 - x)^2 - 1) + (1 + q) x,
// which rises monotonically from -inf to +inf, found by bisection to the last bits of a double.
// q is clamped as clampMassRatio says.
double InnerLagrangianPoint(double q);

struct LobeRadiusResult {
    double radius = 0; // units of the separation
    int passes = 0;    // bracketing and refining passes taken
    bool touches = false; // the surface only touches this ray (the inner Lagrangian direction)
};

// Distance from the origin to the equipotential Omega = omega in the direction (lambda, nu): the
// first crossing outwards from the star's centre, bracketed by stepping out and then bisected to
// 1e-12. Where the potential only comes down to omega without crossing it (towards the inner
// Lagrangian point of the critical surface, where the surface touches the ray) the point of closest
// approach, found by a golden-section search. Never negative, never NaN; q is clamped as
// clampMassRatio says.
LobeRadiusResult EquipotentialRadius(double q, double omega, double lambda, double nu);

} // namespace corvane::roche
