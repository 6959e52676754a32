// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include "light/LimbDarkening.h"

// The bolometric flux a surface element receives from its companion, taken as a sphere of uniform
// effective temperature whose disc is limb-darkened (a finite source, not a point: near a large
// companion part of its disc may lie below the element's horizon).

namespace corvane::light {

// The flux on a surface element in units of the source's own emergent flux sigma T_c^4:
//   Phi = 1 / (pi F) Int_disc L(mu_c) max(0, n . w) d Omega(w),
// w the directions to the source's disc, of angular radius asin(sinSize) about a centre at the angle
// gamma from the element's normal n (cosGamma = n . c), mu_c the cosine on the source where w meets
// it, L the law (law, a, b) and F = limbDiscFlux(law, a, b). A far source straight overhead gives
// sinSize^2; one wholly below the horizon 0; one wholly above it sinSize^2 cos(gamma) exactly (the
// flux of a spherically symmetric source), whatever the law. Where the horizon crosses the disc the
// azimuth about the centre is integrated in closed form, the angle from it by Gauss-Legendre on each
// side of the crossing (n points a side) in the source's limb angle: within 1e-6 of the overhead value
// at n = 12, 6e-6 at n = 8, 2e-5 at n = 6. sinSize >= 1 (the element touches or is inside the source)
// counts as 1.
double irradiation(LimbLaw law, double a, double b, double sinSize, double cosGamma, int n = 12);

} // namespace corvane::light
