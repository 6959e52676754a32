// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

namespace corvane::roche {

// Pole radius of star 2 on the equipotential through star 1's pole: the r > 0 that solves
//   1/sqrt(1 + r^2) + q (1/r - 1) + (1 + q)/2 = Omega1,   Omega1 = 1/r1 + q/sqrt(1 + r1^2),
// i.e. the potential at (1, 0, r) in star 1's frame equals that at star 1's pole (0, 0, r1).
// The left side falls monotonically from +infinity (r -> 0) to (1 - q)/2 (r -> infinity), which is
// below Omega1 for every r1 <= 1, so the root exists and is unique. Solved by bisection on a
// bracket, polished by Newton steps that stay inside it. q is clamped as clampMassRatio says;
// a non-positive or non-finite r1 gives 0.
double RecommendedRadius2(double q, double radius1);

} // namespace corvane::roche
