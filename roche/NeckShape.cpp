// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "NeckShape.h"

#include "Roche.h"

#include <algorithm>
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

double neckPotential(double q, double ZC, double Rho, double Phi) {
    const double s = std::sin(Phi);
    return 1.0 / std::sqrt(ZC * ZC + Rho * Rho) + q * (1.0 / std::sqrt((1.0 - ZC) * (1.0 - ZC) + Rho * Rho) - ZC) +
           0.5 * (1.0 + q) * (ZC * ZC + Rho * Rho * s * s);
}

double neckRadius(double qIn, double target, double ZC, double Phi) {
    const double q = clampMassRatio(qIn);
    if (!std::isfinite(target) || !std::isfinite(ZC) || !std::isfinite(Phi)) {
        return MinNeckRadius;
    }
    auto f = [&](double rho) { return neckPotential(q, ZC, rho, Phi) - target; };
    if (!(f(MinNeckRadius) > 0)) {
        return MinNeckRadius; // the line of centres is outside the surface here
    }
    // Step outward for a bracket: fine steps first, so the first crossing is the one found.
    double lo = MinNeckRadius;
    double hi = lo;
    bool found = false;
    for (double step = 0.005; hi < MaxNeckRadius;) {
        hi = std::min(lo + step, MaxNeckRadius);
        if (!(f(hi) > 0)) {
            found = true;
            break;
        }
        lo = hi;
        step *= 1.25;
    }
    if (!found) {
        return MaxNeckRadius;
    }
    for (int pass = 0; pass < 80 && hi - lo > 1e-9; ++pass) {
        const double mid = 0.5 * (lo + hi);
        (f(mid) > 0 ? lo : hi) = mid;
    }
    return std::max(0.5 * (lo + hi), MinNeckRadius);
}

void NeckCache::resize(int lonLines) {
    n_ = std::max(1, lonLines) + 1;
    rho_.assign(static_cast<std::size_t>(n_) * static_cast<std::size_t>(n_) * 6, 0.0);
}

double NeckCache::get(int i, int j, int k) const {
    if (i < 0 || j < 0 || k < 0 || i >= n_ || j >= n_ || k >= 6) {
        return 0.0;
    }
    return rho_[(static_cast<std::size_t>(k) * static_cast<std::size_t>(n_) + static_cast<std::size_t>(j)) *
                    static_cast<std::size_t>(n_) +
                static_cast<std::size_t>(i)];
}

void NeckCache::put(int i, int j, int k, double rho) {
    if (i < 0 || j < 0 || k < 0 || i >= n_ || j >= n_ || k >= 6) {
        return;
    }
    rho_[(static_cast<std::size_t>(k) * static_cast<std::size_t>(n_) + static_cast<std::size_t>(j)) *
             static_cast<std::size_t>(n_) +
         static_cast<std::size_t>(i)] = rho;
}

namespace {

double polePotential(double q, double pole) { return 1.0 / pole + q / std::sqrt(1.0 + pole * pole); }

} // namespace

double NeckShape(const NeckInputs& in, NeckCache& cache, double Phi, double ZC, int i, int j, int k) {
    if (const double cached = cache.get(i, j, k); cached != 0.0) {
        return cached;
    }
    const double q = clampMassRatio(in.Q);
    double rho = MinNeckRadius;
    if (ZC <= in.LagrangeX) {
        if (in.Radius1 > 0) {
            rho = neckRadius(q, polePotential(q, in.Radius1), ZC, Phi);
        }
    } else {
        const double q2 = clampMassRatio(1.0 / q);
        if (in.Radius2 > 0) {
            rho = neckRadius(q2, polePotential(q2, in.Radius2), 1.0 - ZC, Phi);
        }
    }
    cache.put(i, j, k, rho);
    return rho;
}

double NeckShape2(const NeckInputs& in, double Phi, double ZC) {
    const double q = clampMassRatio(in.Q);
    if (!(in.Radius1 > 0)) {
        return MinNeckRadius;
    }
    return neckRadius(q, polePotential(q, in.Radius1), ZC, Phi);
}

ScreenPoint CTN(double Rho, double Phi, double ZC, double Eta, double Iota, double Gamma, const ViewGeometry& view) {
    const BodyDirection d{-ZC, Rho * std::sin(Phi), Rho * std::cos(Phi)};
    return project(d, 2.0 * view.ZoomScale, ViewTrig::of(Eta, Iota, Gamma), view);
}

} // namespace corvane::roche
