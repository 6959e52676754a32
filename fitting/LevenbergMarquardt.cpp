// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "LevenbergMarquardt.h"

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>
#include <limits>

namespace corvane::fitting {

namespace {

double sumOfSquares(const std::vector<double>& r, std::size_t size) {
    if (r.size() != size || r.empty()) {
        return std::numeric_limits<double>::infinity();
    }
    double s = 0;
    for (const double v : r) {
        s += v * v;
    }
    return std::isfinite(s) ? s : std::numeric_limits<double>::infinity();
}

} // namespace

LevenbergResult minimiseLevenbergMarquardt(const BatchResiduals& f, std::vector<double> start,
                                           const LevenbergOptions& options,
                                           const std::function<void(int evaluations, double sum)>& progress,
                                           const std::atomic<bool>& cancel) {
    const std::size_t n = start.size();
    LevenbergResult out;
    for (std::size_t j = 0; j < n; ++j) {
        start[j] = std::clamp(start[j], options.lower[j], options.upper[j]);
    }
    std::vector<double> r = f({start}).front();
    out.evaluations = 1;
    out.best = start;
    const std::size_t m = r.size();
    out.sum = sumOfSquares(r, m);
    if (!std::isfinite(out.sum) || n == 0) {
        return out;
    }
    auto report = [&] {
        if (progress) {
            progress(out.evaluations, out.sum);
        }
    };
    report();
    double lambda = -1;
    int rises = 0;
    std::vector<double>& x = out.best;
    while (out.iterations < options.maxIterations) {
        if (cancel) {
            out.cancelled = true;
            return out;
        }
        ++out.iterations;
        // The Jacobian, one batch.
        std::vector<std::vector<double>> points(n, x);
        std::vector<double> h(n);
        for (std::size_t j = 0; j < n; ++j) {
            h[j] = x[j] + options.step[j] <= options.upper[j] ? options.step[j] : -options.step[j];
            points[j][j] += h[j];
        }
        const std::vector<std::vector<double>> columns = f(points);
        out.evaluations += static_cast<int>(n);
        Eigen::MatrixXd J(static_cast<Eigen::Index>(m), static_cast<Eigen::Index>(n));
        for (std::size_t j = 0; j < n; ++j) {
            const bool usable = columns[j].size() == m;
            for (std::size_t i = 0; i < m; ++i) {
                const double d = usable ? (columns[j][i] - r[i]) / h[j] : 0.0;
                J(static_cast<Eigen::Index>(i), static_cast<Eigen::Index>(j)) = std::isfinite(d) ? d : 0.0;
            }
        }
        const Eigen::Map<const Eigen::VectorXd> rv(r.data(), static_cast<Eigen::Index>(m));
        const Eigen::MatrixXd A = J.transpose() * J;
        const Eigen::VectorXd g = J.transpose() * rv;
        Eigen::VectorXd scale = A.diagonal();
        const double largest = std::max(scale.maxCoeff(), 1e-300);
        for (Eigen::Index j = 0; j < scale.size(); ++j) {
            scale(j) = std::max(scale(j), 1e-12 * largest); // a parameter the data do not move is held by damping
        }
        if (lambda < 0) {
            lambda = 1e-3;
        }
        bool moved = false;
        while (!moved) {
            if (cancel) {
                out.cancelled = true;
                return out;
            }
            // Two dampings in one batch.
            std::vector<std::vector<double>> trials;
            for (const double l : {lambda, 10 * lambda}) {
                Eigen::MatrixXd M = A;
                M.diagonal() += l * scale;
                Eigen::VectorXd rhs = -g;
                // A parameter at a bound that the descent would push through stays there this step,
                // and the others are solved for without it.
                for (std::size_t j = 0; j < n; ++j) {
                    const auto e = static_cast<Eigen::Index>(j);
                    if ((x[j] >= options.upper[j] && rhs(e) > 0) || (x[j] <= options.lower[j] && rhs(e) < 0)) {
                        M.row(e).setZero();
                        M.col(e).setZero();
                        M(e, e) = 1;
                        rhs(e) = 0;
                    }
                }
                const Eigen::VectorXd delta = M.ldlt().solve(rhs);
                std::vector<double> t = x;
                for (std::size_t j = 0; j < n; ++j) {
                    const double d = delta(static_cast<Eigen::Index>(j));
                    t[j] = std::clamp(x[j] + (std::isfinite(d) ? d : 0.0), options.lower[j], options.upper[j]);
                }
                trials.push_back(std::move(t));
            }
            const std::vector<std::vector<double>> tr = f(trials);
            out.evaluations += 2;
            const double s0 = sumOfSquares(tr[0], m), s1 = sumOfSquares(tr[1], m);
            const int pick = s0 <= s1 ? 0 : 1;
            const double s = std::min(s0, s1);
            if (s < out.sum) {
                const double drop = out.sum - s;
                bool small = true;
                for (std::size_t j = 0; j < n; ++j) {
                    small = small && std::abs(trials[static_cast<std::size_t>(pick)][j] - x[j]) <
                                         options.xTolerance * std::abs(options.step[j]);
                }
                x = trials[static_cast<std::size_t>(pick)];
                r = tr[static_cast<std::size_t>(pick)];
                out.sum = s;
                lambda = pick == 0 ? std::max(lambda / 3, 1e-12) : 10 * lambda;
                rises = 0;
                moved = true;
                report();
                if (drop < options.fTolerance * s || small) {
                    out.converged = true;
                    return out;
                }
            } else {
                lambda *= 100;
                report();
                if (++rises >= 10 || lambda > 1e16) {
                    out.converged = true; // no step lowers S: a minimum
                    return out;
                }
            }
        }
    }
    return out;
}

} // namespace corvane::fitting
