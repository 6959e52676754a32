// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <cmath>
#include <functional>

namespace corvane::testing {

// Root of a monotone function on [lo, hi] by plain bisection: the independent reference method the
// numerical tests hold the kernels to.
inline double bisect(const std::function<double(double)>& f, double lo, double hi) {
    const bool rising = f(hi) > f(lo);
    for (int i = 0; i < 200; ++i) {
        const double mid = 0.5 * (lo + hi);
        ((f(mid) > 0) == rising ? hi : lo) = mid;
    }
    return 0.5 * (lo + hi);
}

// The Roche potential at distance r from the star at the origin in the direction with cosines
// lambda (towards the companion) and nu (along the rotation axis), written from the formula.
inline double potential(double q, double r, double lambda, double nu) {
    return 1 / r + q * (1 / std::sqrt(1 - 2 * lambda * r + r * r) - lambda * r) + (1 + q) / 2 * r * r * (1 - nu * nu);
}

} // namespace corvane::testing
