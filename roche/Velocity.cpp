// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "roche/Velocity.h"

#include "roche/Roche.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace corvane::roche {

OrbitSize orbitSize(double semiMajorAxisSolar, double periodDays, double qIn, double eIn, double iota) {
    OrbitSize out;
    if (!(semiMajorAxisSolar > 0) || !(periodDays > 0) || !std::isfinite(semiMajorAxisSolar) ||
        !std::isfinite(periodDays)) {
        return out;
    }
    const double q = clampMassRatio(qIn);
    const double e = std::isfinite(eIn) ? std::clamp(eIn, 0.0, MaxEccentricity) : 0.0;
    const double aKm = semiMajorAxisSolar * NominalSolarRadiusKm;
    const double seconds = periodDays * 86400;
    const double k = 2 * std::numbers::pi * aKm * std::sin(iota) / (seconds * std::sqrt(1 - e * e));
    out.K1 = k * q / (1 + q);
    out.K2 = k / (1 + q);
    const double aM = aKm * 1000;
    const double total = 4 * std::numbers::pi * std::numbers::pi * aM * aM * aM / (NominalSolarGM * seconds * seconds);
    out.mass1 = total / (1 + q);
    out.mass2 = total * q / (1 + q);
    return out;
}

PairVelocity keplerVelocities(const Orbit& orbit, double phase, double K1, double K2, double gamma) {
    const OrbitPosition p = orbit.at(phase);
    const double shape = std::cos(p.theta) + orbit.eccentricity() * std::cos(orbit.omega(phase));
    return {gamma + K1 * shape, gamma - K2 * shape};
}

double surfaceGravity(double massSolar, double radiusSolar) {
    if (!(massSolar > 0) || !(radiusSolar > 0)) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    const double r = radiusSolar * NominalSolarRadiusKm * 1000;
    return std::log10(NominalSolarGM * massSolar / (r * r) * 100);
}

} // namespace corvane::roche
