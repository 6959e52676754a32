// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "Quadrature.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace corvane::precise {

GaussRule gaussLegendre(int nIn) {
    const int n = std::clamp(nIn, 1, 200);
    GaussRule rule;
    rule.x.resize(static_cast<std::size_t>(n));
    rule.w.resize(static_cast<std::size_t>(n));
    for (int i = 0; i < (n + 1) / 2; ++i) {
        double x = std::cos(std::numbers::pi * (i + 0.75) / (n + 0.5));
        double dp = 0;
        for (int pass = 0; pass < 100; ++pass) {
            double p0 = 1, p1 = x;
            for (int k = 2; k <= n; ++k) {
                const double p2 = ((2.0 * k - 1) * x * p1 - (k - 1.0) * p0) / k;
                p0 = p1;
                p1 = p2;
            }
            if (n == 1) {
                p1 = x;
                p0 = 1;
            }
            dp = n * (x * p1 - p0) / (x * x - 1);
            const double step = p1 / dp;
            x -= step;
            if (std::fabs(step) < 1e-16) {
                break;
            }
        }
        // Recompute the derivative at the converged node for the weight.
        double p0 = 1, p1 = x;
        for (int k = 2; k <= n; ++k) {
            const double p2 = ((2.0 * k - 1) * x * p1 - (k - 1.0) * p0) / k;
            p0 = p1;
            p1 = p2;
        }
        dp = n == 1 ? 1.0 : n * (x * p1 - p0) / (x * x - 1);
        const double w = 2 / ((1 - x * x) * dp * dp);
        const auto lo = static_cast<std::size_t>(i);
        const auto hi = static_cast<std::size_t>(n - 1 - i);
        rule.x[lo] = -x;
        rule.x[hi] = x;
        rule.w[lo] = w;
        rule.w[hi] = w;
    }
    if (n % 2 == 1) {
        rule.x[static_cast<std::size_t>(n / 2)] = 0; // exactly, whatever the iteration left
    }
    return rule;
}

void TrigInterpolant::fit(std::span<const double> f) {
    const std::size_t n = f.size();
    const std::size_t half = n / 2;
    a_.assign(half + 1, 0.0);
    b_.assign(half + 1, 0.0);
    // cos and sin of 2 pi m / n for every m, once per size: the fit is then only multiply-adds.
    thread_local std::vector<double> cosTable, sinTable;
    if (cosTable.size() != n) {
        cosTable.resize(n);
        sinTable.resize(n);
        for (std::size_t m = 0; m < n; ++m) {
            cosTable[m] = std::cos(2 * std::numbers::pi * static_cast<double>(m) / static_cast<double>(n));
            sinTable[m] = std::sin(2 * std::numbers::pi * static_cast<double>(m) / static_cast<double>(n));
        }
    }
    for (std::size_t k = 0; k <= half; ++k) {
        double a = 0, b = 0;
        std::size_t m = 0;
        for (std::size_t j = 0; j < n; ++j) {
            a += f[j] * cosTable[m];
            b += f[j] * sinTable[m];
            m += k;
            if (m >= n) {
                m -= n;
            }
        }
        const double scale = (k == 0 || (n % 2 == 0 && k == half)) ? 1.0 / static_cast<double>(n)
                                                                    : 2.0 / static_cast<double>(n);
        a_[k] = a * scale;
        b_[k] = b * scale;
    }
    if (n % 2 == 0 && half > 0) {
        // The Nyquist term: its sine part vanishes at every node, take none of it (the interpolant
        // of least oscillation).
        b_[half] = 0;
    }
}

void TrigInterpolant::valueAndSlope(double psi, double& value, double& slope) const {
    value = a_.empty() ? 0.0 : a_[0];
    slope = 0;
    const double c1 = std::cos(psi), s1 = std::sin(psi);
    double c = 1, s = 0;
    for (std::size_t k = 1; k < a_.size(); ++k) {
        const double ck = c * c1 - s * s1;
        const double sk = s * c1 + c * s1;
        c = ck;
        s = sk;
        value += a_[k] * c + b_[k] * s;
        slope += static_cast<double>(k) * (b_[k] * c - a_[k] * s);
    }
}

void TrigInterpolant::basis(double psi, std::size_t terms, std::vector<double>& cosK, std::vector<double>& sinK) {
    cosK.resize(terms);
    sinK.resize(terms);
    const double c1 = std::cos(psi), s1 = std::sin(psi);
    double c = 1, s = 0;
    for (std::size_t k = 0; k < terms; ++k) {
        cosK[k] = c;
        sinK[k] = s;
        const double ck = c * c1 - s * s1;
        s = s * c1 + c * s1;
        c = ck;
    }
}

double TrigInterpolant::value(const std::vector<double>& cosK, const std::vector<double>& sinK) const {
    double v = 0;
    for (std::size_t k = 0; k < a_.size(); ++k) {
        v += a_[k] * cosK[k] + b_[k] * sinK[k];
    }
    return v;
}

double TrigInterpolant::value(double psi) const {
    double value = a_.empty() ? 0.0 : a_[0];
    const double c1 = std::cos(psi), s1 = std::sin(psi);
    double c = 1, s = 0;
    for (std::size_t k = 1; k < a_.size(); ++k) {
        const double ck = c * c1 - s * s1;
        s = s * c1 + c * s1;
        c = ck;
        value += a_[k] * c + b_[k] * s;
    }
    return value;
}

} // namespace corvane::precise
