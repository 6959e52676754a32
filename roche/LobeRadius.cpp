// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "LobeRadius.h"

#include "Roche.h"

#include <cmath>
#include <limits>

namespace corvane::roche {

double RochePotentialAt(double q, double r, double lambda, double nu) {
    const double d2 = 1 - 2 * lambda * r + r * r;
    const double toCompanion = d2 > 0 ? 1 / std::sqrt(d2) : std::numeric_limits<double>::infinity();
    return 1 / r + q * (toCompanion - lambda * r) + (1 + q) / 2 * r * r * (1 - nu * nu);
}

double InnerLagrangianPoint(double qIn) {
    const double q = clampMassRatio(qIn);
    auto force = [q](double x) { return -1 / (x * x) + q * (1 / ((1 - x) * (1 - x)) - 1) + (1 + q) * x; };
    double lo = 1e-9;
    double hi = 1 - 1e-9;
    for (int pass = 0; pass < 200 && hi - lo > 1e-15; ++pass) {
        const double mid = 0.5 * (lo + hi);
        (force(mid) < 0 ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

LobeRadiusResult EquipotentialRadius(double qIn, double omega, double lambda, double nu) {
    const double q = clampMassRatio(qIn);
    LobeRadiusResult out;
    if (!std::isfinite(omega) || !std::isfinite(lambda) || !std::isfinite(nu)) {
        return out;
    }
    auto excess = [&](double r) { return RochePotentialAt(q, r, lambda, nu) - omega; };

    // Step out from the centre, where the potential is infinite, to the first point at or below omega.
    // Past the companion's distance the lobe cannot reach; 1.5 separations bounds every direction.
    constexpr int Steps = 3000;
    constexpr double Reach = 1.5;
    double prev = Reach / Steps;
    double best = prev;
    double bestExcess = excess(prev);
    double lo = 0;
    double hi = 0;
    for (int k = 2; k <= Steps; ++k) {
        ++out.passes;
        const double r = Reach * k / Steps;
        const double e = excess(r);
        if (e <= 0) {
            lo = prev;
            hi = r;
            break;
        }
        if (e < bestExcess) {
            bestExcess = e;
            best = r;
        } else if (e > 2 * bestExcess + 1) {
            break; // climbing well past the lowest point seen: the ray has passed the surface's reach
        }
        prev = r;
    }

    if (hi == 0) {
        // No crossing between the samples: refine the lowest point. If even it stays above omega the
        // surface touches the ray there (or misses it): that point is the answer.
        double a = std::max(best - Reach / Steps, 1e-9);
        double b = best + Reach / Steps;
        const double g = (std::sqrt(5.0) - 1) / 2;
        double c = b - g * (b - a);
        double d = a + g * (b - a);
        while (b - a > 1e-12 && out.passes < 100000) {
            ++out.passes;
            if (excess(c) < excess(d)) {
                b = d;
            } else {
                a = c;
            }
            c = b - g * (b - a);
            d = a + g * (b - a);
        }
        const double rMin = 0.5 * (a + b);
        if (excess(rMin) > 0) {
            out.radius = rMin;
            out.touches = true;
            return out;
        }
        lo = std::max(best - Reach / Steps, 1e-9);
        hi = rMin;
    }
    while (hi - lo > 1e-12) {
        ++out.passes;
        const double mid = 0.5 * (lo + hi);
        (excess(mid) > 0 ? lo : hi) = mid;
    }
    out.radius = 0.5 * (lo + hi);
    return out;
}

} // namespace corvane::roche
