// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "NeckShape.h"

#include "Roche.h"

#include <cmath>

namespace corvane::roche {

double RecommendedRadius2(double qIn, double radius1) {
    if (!(radius1 > 0.0) || !std::isfinite(radius1)) {
        return 0.0;
    }
    const double q = clampMassRatio(qIn);
    const double target = 1.0 / radius1 + q / std::sqrt(1.0 + radius1 * radius1);
    auto g = [&](double r) { return 1.0 / std::sqrt(1.0 + r * r) + q * (1.0 / r - 1.0) + 0.5 * (1.0 + q) - target; };
    auto dg = [&](double r) { return -r / std::pow(1.0 + r * r, 1.5) - q / (r * r); };

    // g falls monotonically; find lo with g(lo) > 0 and hi with g(hi) < 0.
    double lo = 1e-9;
    double hi = 1.0;
    while (g(hi) > 0.0 && hi < 1e12) {
        lo = hi;
        hi *= 2.0;
    }
    for (int pass = 0; pass < 200 && hi - lo > 1e-15 * hi; ++pass) {
        const double mid = 0.5 * (lo + hi);
        (g(mid) > 0.0 ? lo : hi) = mid;
        if (hi - lo < 1e-6 * hi) {
            break;
        }
    }
    double r = 0.5 * (lo + hi);
    for (int pass = 0; pass < 20; ++pass) {
        const double step = g(r) / dg(r);
        const double next = r - step;
        if (!std::isfinite(next) || next <= lo || next >= hi) {
            break;
        }
        r = next;
        if (std::fabs(step) < 1e-15 * r) {
            break;
        }
    }
    return r;
}

} // namespace corvane::roche
