// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "Irradiation.h"

#include "precise/Quadrature.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace corvane::light {

namespace {

constexpr double kPi = std::numbers::pi;

// Int_0^{2 pi} max(0, A + B cos phi) d phi for B >= 0.
double azimuthIntegral(double A, double B) {
    if (A >= B) {
        return 2 * kPi * A;
    }
    if (A <= -B) {
        return 0;
    }
    const double phi0 = std::acos(-A / B);
    return 2 * (A * phi0 + B * std::sin(phi0));
}

const precise::GaussRule& rule(int n) {
    static const std::vector<precise::GaussRule> rules = [] {
        std::vector<precise::GaussRule> all;
        for (int k = 0; k <= 64; ++k) {
            all.push_back(precise::gaussLegendre(std::max(k, 1)));
        }
        return all;
    }();
    return rules[static_cast<std::size_t>(std::clamp(n, 1, 64))];
}

} // namespace

double irradiation(LimbLaw law, double a, double b, double sinSize, double cosGamma, int n) {
    const double s = std::clamp(sinSize, 0.0, 1.0);
    if (s == 0) {
        return 0;
    }
    const double cg = std::clamp(cosGamma, -1.0, 1.0);
    const double sg = std::sqrt(std::max(0.0, 1 - cg * cg));
    // The whole disc below the horizon: nothing. (beta_size = asin s, gamma = acos cg.)
    const double size = std::asin(s);
    const double gamma = std::acos(cg);
    if (gamma >= 0.5 * kPi + size) {
        return 0;
    }
    // The whole disc above the horizon: a spherically symmetric source's flux, s^2 cos(gamma), whatever
    // its limb darkening.
    if (gamma + size <= 0.5 * kPi) {
        return s * s * cg;
    }
    const double F = limbDiscFlux(law, a, b);
    if (!(F > 0)) {
        return 0;
    }
    // The disc point at limb angle t on the source (projected radius sin t of the disc's, mu_c = cos t)
    // lies at the angle beta from its centre with sin beta = s sin t; sin beta d beta =
    // s^2 sin t cos t dt / cos beta. The horizon crosses the ring at beta = |pi/2 - gamma|.
    auto integrand = [&](double t) {
        const double st = std::sin(t), ct = std::cos(t);
        const double sb = s * st;
        const double cb = std::sqrt(std::max(0.0, 1 - sb * sb));
        if (cb <= 0) {
            return 0.0;
        }
        const double H = azimuthIntegral(cb * cg, sb * sg);
        return limbProfile(law, a, b, ct) * H * s * s * st * ct / cb;
    };
    const precise::GaussRule& g = rule(n);
    auto piece = [&](double t0, double t1) {
        double sum = 0;
        const double half = 0.5 * (t1 - t0), mid = 0.5 * (t1 + t0);
        for (std::size_t i = 0; i < g.x.size(); ++i) {
            sum += g.w[i] * integrand(mid + half * g.x[i]);
        }
        return sum * half;
    };
    const double crossing = std::fabs(0.5 * kPi - gamma);
    double total = 0;
    if (crossing < size && crossing > 0) {
        const double tc = std::asin(std::clamp(std::sin(crossing) / s, 0.0, 1.0));
        total = piece(0, tc) + piece(tc, 0.5 * kPi);
    } else {
        total = piece(0, 0.5 * kPi);
    }
    return total / (kPi * F);
}

} // namespace corvane::light
