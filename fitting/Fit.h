// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

// Fitting a model to observations: the weighted chi-square with a free zero point, a downhill simplex
// inside a box, and one-sigma errors from the curvature of the objective at its minimum.

namespace corvane::fitting {

// The weighted chi-square of observed magnitudes m_i (errors sigma_i) against model magnitudes M_i with
// a free zero point c:
//   chi2(c) = sum_i ((m_i - M_i - c) / sigma_i)^2,   minimised by c = sum w_i (m_i - M_i) / sum w_i,
// w_i = 1 / sigma_i^2. Points with a zero, negative or non-finite error, or a non-finite magnitude on
// either side, are left out. Nothing when no point is left.
struct ChiSquare {
    double chi2 = 0;
    double zeroPoint = 0; // c, magnitudes
    int points = 0;       // points used
    double perPoint() const { return points > 0 ? chi2 / points : 0; }
};
std::optional<ChiSquare> chiSquare(std::span<const double> observedMag, std::span<const double> error,
                                   std::span<const double> modelMag);

// Astronomical magnitudes of model light values, -2.5 log10(light); NaN where the light is not
// positive.
std::vector<double> lightToMagnitudes(std::span<const double> light);

// A function to minimise, evaluated for a batch of points at once (the batch may be spread over
// threads); one value per point, +infinity where the model cannot be computed.
using BatchObjective = std::function<std::vector<double>(const std::vector<std::vector<double>>& points)>;

struct SimplexOptions {
    std::vector<double> lower, upper; // the box, one bound per parameter (lower < upper)
    std::vector<double> step;         // the initial simplex's edge along each parameter (> 0)
    int maxEvaluations = 400;         // per run; the restart gets as many again
    double fTolerance = 1e-7;         // stop when the simplex's values differ by less than this
                                      // (relative to the best value, plus the same absolute)
    double xTolerance = 1e-4;         // and its vertices by less than this many initial steps
    bool restart = true;              // once converged, start again once from the best point
};

struct SimplexProgress {
    int evaluations = 0;
    double best = 0;
    int run = 1; // 1, or 2 for the restart
};

struct SimplexResult {
    std::vector<double> best;
    double value = 0;
    int evaluations = 0;
    bool converged = false;
    bool cancelled = false;
};

// The downhill simplex of Nelder and Mead (reflection 1, expansion 2, contractions 1/2, shrink 1/2)
// from start inside the box: every trial point is projected into the box, so every value the
// objective sees is one the boxes accept. Each step evaluates the reflection and the expansion
// together (one batch: on two or more threads they cost one evaluation's time); the initial simplex
// and a shrink are one batch each. The sequence of points does not depend on how a batch is spread
// over threads. Progress is reported after every batch; when cancel becomes true the run stops
// after the current batch and returns the best point so far.
SimplexResult minimiseSimplex(const BatchObjective& f, std::vector<double> start, const SimplexOptions& options,
                              const std::function<void(const SimplexProgress&)>& progress,
                              const std::atomic<bool>& cancel);

// One-sigma errors of the parameters of a chi-square-like objective at its minimum x: the Hessian
// H_jk = d2 f / dx_j dx_k by central differences (steps h_j, moved inward at a bound), and
//   sigma_j = sqrt(2 (H^-1)_jj) * scale,
// the errors for which f rises by 1 (scale 1 for a true chi-square). Nothing for a parameter whose
// error cannot be had (H not positive definite, a value not finite). One batch of 2n^2 + 1 points.
// With covariance, it also receives the whole matrix 2 H^-1 scale^2 (empty when H is not positive
// definite), for the errors of quantities derived from the parameters: sigma_D^2 = g^T C g.
std::vector<std::optional<double>> curvatureErrors(const BatchObjective& f, const std::vector<double>& x,
                                                   const std::vector<double>& h, const std::vector<double>& lower,
                                                   const std::vector<double>& upper, double scale = 1,
                                                   std::vector<std::vector<double>>* covariance = nullptr);

// Evaluates f(points[k]) for every k on up to `threads` threads, keeping the order.
std::vector<double> evaluateParallel(const std::function<double(const std::vector<double>&)>& f,
                                     const std::vector<std::vector<double>>& points, int threads);

} // namespace corvane::fitting
