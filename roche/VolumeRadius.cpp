// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "VolumeRadius.h"

#include "Constants.h"
#include "LobeRadius.h"
#include "Roche.h"

#include <array>
#include <cmath>
#include <numbers>

namespace corvane::roche {

namespace {

constexpr int NuNodes = 24, PhiNodes = 48;

// Gauss-Legendre nodes and weights on [0, 1] by Newton's method on P_n (Golub's bounds start it
// at the Chebyshev guess); exact for polynomials of degree 2n - 1.
struct Rule {
    std::array<double, NuNodes> x{}, w{};
    Rule() {
        constexpr int n = NuNodes;
        for (int i = 0; i < n; ++i) {
            double z = std::cos(std::numbers::pi * (i + 0.75) / (n + 0.5));
            double dp = 0;
            for (int pass = 0; pass < 100; ++pass) {
                double p0 = 1, p1 = z;
                for (int k = 2; k <= n; ++k) {
                    const double p2 = ((2 * k - 1) * z * p1 - (k - 1) * p0) / k;
                    p0 = p1;
                    p1 = p2;
                }
                dp = n * (z * p1 - p0) / (z * z - 1);
                const double step = p1 / dp;
                z -= step;
                if (std::fabs(step) < 1e-16) {
                    break;
                }
            }
            x[static_cast<std::size_t>(i)] = 0.5 * (1 - z);
            w[static_cast<std::size_t>(i)] = 1 / ((1 - z * z) * dp * dp); // 2/((1-z^2)P'^2), halved for [0, 1]
        }
    }
};

} // namespace

std::optional<double> volumeEquivalentRadius(double qIn, double rPole) {
    if (!(rPole > 0) || !std::isfinite(rPole) || !(qIn > 0) || !std::isfinite(qIn)) {
        return std::nullopt;
    }
    const double q = clampMassRatio(qIn);
    const double omega = 1 / rPole + q / std::sqrt(1 + rPole * rPole);
    const double critical = RochePotentialAt(q, InnerLagrangianPoint(q), 1.0, 0.0);
    if (!(omega >= critical)) {
        return std::nullopt;
    }
    static const Rule rule;
    // V = (1/3) Int_-1^1 dnu Int_0^2pi r^3 dphi = (4/3) Int_0^1 dnu Int_0^pi r^3 dphi.
    double sum = 0;
    for (int i = 0; i < NuNodes; ++i) {
        const double nu = rule.x[static_cast<std::size_t>(i)];
        const double across = std::sqrt(std::max(0.0, 1 - nu * nu));
        double ring = 0;
        for (int k = 0; k <= PhiNodes; ++k) {
            const double phi = std::numbers::pi * k / PhiNodes;
            const double r = EquipotentialRadius(q, omega, across * std::cos(phi), nu).radius;
            ring += (k == 0 || k == PhiNodes ? 0.5 : 1.0) * r * r * r;
        }
        sum += rule.w[static_cast<std::size_t>(i)] * ring * std::numbers::pi / PhiNodes;
    }
    const double volume = 4.0 / 3.0 * sum;
    return std::cbrt(3 * volume / (4 * std::numbers::pi));
}

} // namespace corvane::roche
