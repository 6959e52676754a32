// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "Roche.h"

#include <algorithm>
#include <cmath>

namespace corvane::roche {

double clampMassRatio(double q) {
    if (std::isnan(q)) {
        return MinMassRatio;
    }
    return std::clamp(q, MinMassRatio, MaxMassRatio);
}

namespace {

// One Newton step at x; returns the new x. The power 1.5 is applied to 1 - 2x + x^2 as written.
double newtonStep(RocheState& s, double q, double x) {
    const double d = 1.0 - 2.0 * x + x * x;
    const double d15 = std::pow(d, 1.5);
    s.PotSlope = -1.0 / (x * x) - q * (1.0 + (x - 1.0) / d15) + (1.0 + q) * x;
    s.PotCurve = 2.0 / (x * x * x) + 2.0 * q / d15 + (1.0 + q);
    const double next = x - s.PotSlope / s.PotCurve;
    if (std::isfinite(next) && next > 0.0 && next < 1.0) {
        return next;
    }
    // Overshoot: stay inside the interval between the two centres.
    const bool towardsOne = !(s.PotSlope / s.PotCurve > 0.0);
    return towardsOne ? 0.5 * (x + 1.0) : 0.5 * x;
}

} // namespace

void RochePot(RocheState& s) {
    const double q = clampMassRatio(s.Q);
    double x = newtonStep(s, q, 0.5);
    s.IterCount = 0;
    do {
        ++s.IterCount;
        x = newtonStep(s, q, x);
    } while (!(std::fabs(s.PotSlope / s.PotCurve) < 0.0005) && s.IterCount < 50);
    s.LagrangeX = x;
    s.OmegaCrit = 1.0 / x + q * (1.0 / std::sqrt(1.0 - 2.0 * x + x * x) - x) + 0.5 * (q + 1.0) * x * x;
}

double StarRadius(RocheState& s, double Omega, double QQ, double P, double Phi, double Theta) {
    const double q = clampMassRatio(QQ);
    s.CurRadius = 0.5;
    s.DirX = std::cos(Phi) * std::sin(Theta + P);
    s.DirZ = std::sin(Phi);
    const double spin = (q + 1.0) * 0.5 * (1.0 - s.DirZ * s.DirZ);
    auto next = [&](double r) {
        return 1.0 / (Omega - q * (1.0 / std::sqrt(1.0 - 2.0 * r * s.DirX + r * r) - r * s.DirX) - spin * r * r);
    };
    double r = next(s.CurRadius);
    if (!std::isfinite(r)) {
        r = s.CurRadius;
    }
    s.IterCount = 0;
    do {
        ++s.IterCount;
        s.RadiusPrev = r;
        const double candidate = next(r);
        if (!std::isfinite(candidate)) {
            s.RadiusChange = 0.0;
            break;
        }
        r = candidate;
        s.RadiusChange = std::fabs(s.RadiusPrev - r) / r;
    } while (!(s.RadiusChange < 0.0005) && s.IterCount < 20);
    return r;
}

} // namespace corvane::roche
