// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <atomic>
#include <functional>
#include <vector>

// Levenberg-Marquardt least squares with numerical derivatives, the method of published light-curve
// analyses: minimises S(x) = sum_i r_i(x)^2 over x inside a box. Each iteration takes the Jacobian
// J_ij = d r_i / d x_j by forward differences (steps h_j, taken backwards at an upper bound; one
// batch of n points), then solves
//   (J^T J + lambda diag(J^T J)) delta = -J^T r
// (Marquardt's scaling; Eigen's LDLT) for two dampings at once, lambda and 10 lambda (one batch), and
// takes the better of those that lower S, the step projected into the box. lambda falls by 3 after a
// step at the smaller damping and rises a hundredfold when neither lowers S. It stops when a step
// lowers S by less than fTolerance of itself, or moves every parameter by less than xTolerance of its
// difference step, or when ten rises in a row find no lower S (converged: no direction lowers it),
// or at maxIterations.

namespace corvane::fitting {

// The residuals at each point of a batch (every vector of one length; empty where the model cannot
// be computed).
using BatchResiduals = std::function<std::vector<std::vector<double>>(const std::vector<std::vector<double>>& points)>;

struct LevenbergOptions {
    std::vector<double> lower, upper; // the box
    std::vector<double> step;         // the difference step of each parameter (> 0)
    int maxIterations = 100;
    double fTolerance = 1e-9;
    double xTolerance = 1e-3;
};

struct LevenbergResult {
    std::vector<double> best;
    double sum = 0; // S at best
    int evaluations = 0;
    int iterations = 0;
    bool converged = false;
    bool cancelled = false;
};

// Progress after every batch: the evaluations so far and the best S.
LevenbergResult minimiseLevenbergMarquardt(const BatchResiduals& f, std::vector<double> start,
                                           const LevenbergOptions& options,
                                           const std::function<void(int evaluations, double sum)>& progress,
                                           const std::atomic<bool>& cancel);

} // namespace corvane::fitting
