// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <optional>

// The volume-equivalent radius of a detached Roche star: the radius of the sphere of the star's
// volume, the radius papers quote. Frame and units as in roche/Roche.h (the star at the origin, its
// companion of mass ratio q = M_companion / M_star at x = 1, lengths in units of the separation).

namespace corvane::precise {

// The star whose pole (0, 0, rPole) lies on the equipotential
//   Omega_pole = 1/rPole + q / sqrt(1 + rPole^2)
// has the volume V = (1/3) Int r(lambda, nu)^3 dOmega over its surface, and
//   r_vol = (3 V / 4 pi)^(1/3).
// The integral is by Gauss-Legendre in nu (24 nodes on [0, 1], the surface being symmetric about the
// orbital plane) and the trapezoid rule in the azimuth (48 on [0, pi], symmetric about the x-z
// plane), good to about 1e-9 of the radius. Nothing when the surface is not closed about the star
// alone (Omega_pole below the critical potential: it overflows its lobe, a contact star) or for an
// rPole or q that is not positive and finite. q is clamped as clampMassRatio says.
std::optional<double> volumeEquivalentRadius(double q, double rPole);

} // namespace corvane::precise
