// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <span>
#include <vector>

// Quadrature rules and periodic interpolation used by the precise photometry.

namespace corvane::precise {

// Gauss-Legendre rule of n points on [-1, 1]: nodes x_i and weights w_i with
//   sum w_i f(x_i) = integral_{-1}^{1} f(x) dx  exactly for polynomials of degree <= 2n - 1.
// Nodes by Newton's method on P_n from the Chebyshev estimates, to the last bits of a double.
// n from 1 to 200; outside that range it is clamped.
struct GaussRule {
    std::vector<double> x;
    std::vector<double> w;
};
GaussRule gaussLegendre(int n);

// Trigonometric interpolation of N samples f_j = f(2 pi j / N), j = 0..N-1 (N even, at least 4):
//   f(psi) = a_0 + sum_{k=1}^{N/2} (a_k cos k psi + b_k sin k psi)
// with the Nyquist term halved, so that it passes through every sample. For a smooth periodic f the
// error falls geometrically with N.
class TrigInterpolant {
public:
    void fit(std::span<const double> samples);
    double value(double psi) const;
    // The value and its derivative d f / d psi.
    void valueAndSlope(double psi, double& value, double& slope) const;
    bool empty() const { return a_.empty(); }
    // For many interpolants of the same size at one psi: cos k psi and sin k psi once (basis), then
    // each value from it.
    static void basis(double psi, std::size_t terms, std::vector<double>& cosK, std::vector<double>& sinK);
    double value(const std::vector<double>& cosK, const std::vector<double>& sinK) const;
    std::size_t terms() const { return a_.size(); }

private:
    std::vector<double> a_, b_;
};

} // namespace corvane::precise
