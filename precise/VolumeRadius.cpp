// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "VolumeRadius.h"

#include "Quadrature.h"
#include "roche/LobeRadius.h"
#include "roche/Roche.h"

#include <cmath>
#include <numbers>

namespace corvane::precise {

namespace {

constexpr int NuNodes = 24, PhiNodes = 48;

} // namespace

std::optional<double> volumeEquivalentRadius(double qIn, double rPole) {
    if (!(rPole > 0) || !std::isfinite(rPole) || !(qIn > 0) || !std::isfinite(qIn)) {
        return std::nullopt;
    }
    const double q = roche::clampMassRatio(qIn);
    const double omega = 1 / rPole + q / std::sqrt(1 + rPole * rPole);
    const double critical = roche::RochePotentialAt(q, roche::InnerLagrangianPoint(q), 1.0, 0.0);
    if (!(omega >= critical)) {
        return std::nullopt;
    }
    // On [0, 1]: nu = (1 + x) / 2, weight w / 2.
    static const GaussRule rule = gaussLegendre(NuNodes);
    // V = (1/3) Int_-1^1 dnu Int_0^2pi r^3 dphi = (4/3) Int_0^1 dnu Int_0^pi r^3 dphi.
    double sum = 0;
    for (int i = 0; i < NuNodes; ++i) {
        const double nu = 0.5 * (1 + rule.x[static_cast<std::size_t>(i)]);
        const double across = std::sqrt(std::max(0.0, 1 - nu * nu));
        double ring = 0;
        for (int k = 0; k <= PhiNodes; ++k) {
            const double phi = std::numbers::pi * k / PhiNodes;
            const double r = roche::EquipotentialRadius(q, omega, across * std::cos(phi), nu).radius;
            ring += (k == 0 || k == PhiNodes ? 0.5 : 1.0) * r * r * r;
        }
        sum += 0.5 * rule.w[static_cast<std::size_t>(i)] * ring * std::numbers::pi / PhiNodes;
    }
    const double volume = 4.0 / 3.0 * sum;
    return std::cbrt(3 * volume / (4 * std::numbers::pi));
}

} // namespace corvane::precise
