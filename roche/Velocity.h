// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include "roche/Orbit.h"

// Radial velocities of the two stars and the absolute dimensions the orbit's size gives.
//
// Units: velocities in km/s (positive receding from the viewer), the semi-major axis a of the
// relative orbit in nominal solar radii, the period P in days, masses in nominal solar masses, log g
// in cgs (log10 of cm s^-2), all with the IAU 2015 nominal constants (Resolution B3):
//   R_sun = 695 700 km,  (G M)_sun = 1.327 124 4e20 m^3 s^-2.
// q = M2 / M1. Star k moves about the centre of mass on an orbit of a1 = a q / (1 + q) and
// a2 = a / (1 + q), with the semi-amplitudes
//   K_k = 2 pi a_k sin i / (P sqrt(1 - e^2))
// and (omega star 1's argument of periastron, theta = nu + omega as roche/Orbit has it)
//   v1 = gamma + K1 (cos theta + e cos omega),   v2 = gamma - K2 (cos theta + e cos omega),
// so that star 1 recedes fastest a quarter turn before it stands behind its companion.

namespace corvane::roche {

inline constexpr double NominalSolarRadiusKm = 695700.0;
inline constexpr double NominalSolarGM = 1.3271244e20; // m^3 s^-2

struct OrbitSize {
    double K1 = 0, K2 = 0;       // km/s
    double mass1 = 0, mass2 = 0; // solar masses: M1 + M2 = 4 pi^2 a^3 / (G P^2)
};

// The semi-amplitudes and the masses of a pair; zeros for an a or P that is not positive and finite.
// e is clamped as roche::Orbit clamps it, q as clampMassRatio.
OrbitSize orbitSize(double semiMajorAxisSolar, double periodDays, double q, double e, double iota);

struct PairVelocity {
    double v1 = 0, v2 = 0;
};

// The Keplerian velocities at the phase (phase 0 at mid primary eclipse, roche/Orbit).
PairVelocity keplerVelocities(const Orbit& orbit, double phase, double K1, double K2, double gamma);

// log10 g (cgs) at the surface of a star of the mass and radius (solar units); NaN for values that
// are not positive.
double surfaceGravity(double massSolar, double radiusSolar);

} // namespace corvane::roche
