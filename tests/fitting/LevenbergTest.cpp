// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "fitting/LevenbergMarquardt.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace corvane::fitting {
namespace {

BatchResiduals batchOf(std::function<std::vector<double>(const std::vector<double>&)> r) {
    return [r](const std::vector<std::vector<double>>& points) {
        std::vector<std::vector<double>> out;
        for (const auto& p : points) {
            out.push_back(r(p));
        }
        return out;
    };
}

// Rosenbrock's valley as residuals (10 (y - x^2), 1 - x): from the classic start (-1.2, 1) to (1, 1).
TEST(LevenbergMarquardt, FollowsRosenbrocksValleyToItsMinimum) {
    const auto f = batchOf([](const std::vector<double>& p) {
        return std::vector<double>{10 * (p[1] - p[0] * p[0]), 1 - p[0]};
    });
    LevenbergOptions o;
    o.lower = {-5, -5};
    o.upper = {5, 5};
    o.step = {1e-7, 1e-7};
    std::atomic<bool> cancel{false};
    const LevenbergResult r = minimiseLevenbergMarquardt(f, {-1.2, 1}, o, {}, cancel);
    EXPECT_TRUE(r.converged);
    EXPECT_NEAR(r.best[0], 1, 1e-5) << r.iterations << " iterations";
    EXPECT_NEAR(r.best[1], 1, 1e-5);
    EXPECT_LT(r.sum, 1e-10);
}

// A straight line through noisy points: the normal equations' closed form, and a bound that holds
// the slope at its edge (where the best intercept for that slope is the closed form's too).
TEST(LevenbergMarquardt, AgreesWithTheNormalEquationsAndKeepsItsBounds) {
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0, 0.1);
    std::vector<double> x, y;
    for (int i = 0; i < 50; ++i) {
        x.push_back(i / 10.0);
        y.push_back(0.7 + 2.3 * x.back() + noise(rng));
    }
    const auto f = batchOf([&](const std::vector<double>& p) {
        std::vector<double> r;
        for (std::size_t i = 0; i < x.size(); ++i) {
            r.push_back((y[i] - p[0] - p[1] * x[i]) / 0.1);
        }
        return r;
    });
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    const double n = static_cast<double>(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        sx += x[i];
        sy += y[i];
        sxx += x[i] * x[i];
        sxy += x[i] * y[i];
    }
    const double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx), intercept = (sy - slope * sx) / n;
    LevenbergOptions o;
    o.lower = {-10, -10};
    o.upper = {10, 10};
    o.step = {1e-6, 1e-6};
    std::atomic<bool> cancel{false};
    const LevenbergResult r = minimiseLevenbergMarquardt(f, {0, 0}, o, {}, cancel);
    EXPECT_NEAR(r.best[0], intercept, 1e-6);
    EXPECT_NEAR(r.best[1], slope, 1e-6);

    o.upper[1] = 2.0; // below the best slope
    const LevenbergResult held = minimiseLevenbergMarquardt(f, {0, 0}, o, {}, cancel);
    EXPECT_LE(held.best[1], 2.0);
    EXPECT_NEAR(held.best[1], 2.0, 1e-6);
    EXPECT_NEAR(held.best[0], (sy - 2.0 * sx) / n, 1e-5) << "the best intercept for the slope at its bound";

    // A model that cannot be computed anywhere: nothing is claimed.
    const auto nowhere = batchOf([](const std::vector<double>&) { return std::vector<double>{}; });
    const LevenbergResult none = minimiseLevenbergMarquardt(nowhere, {0, 0}, o, {}, cancel);
    EXPECT_FALSE(none.converged);
    EXPECT_FALSE(std::isfinite(none.sum));
}

} // namespace
} // namespace corvane::fitting
