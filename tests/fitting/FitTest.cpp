// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "fitting/Fit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace corvane::fitting {
namespace {

BatchObjective batchOf(const std::function<double(const std::vector<double>&)>& f, int threads = 2) {
    return [f, threads](const std::vector<std::vector<double>>& points) { return evaluateParallel(f, points, threads); };
}

const std::atomic<bool> kNever{false};

TEST(ChiSquare, TheZeroPointIsTheWeightedMeanOffsetAndTheChiSquareIsWhatIsLeft) {
    // Model = observed - 0.3 except one point off by 0.02 (sigma 0.01): c is pulled by its weight.
    const std::vector<double> m = {10.0, 10.1, 10.2, 10.3};
    const std::vector<double> s = {0.01, 0.01, 0.01, 0.02};
    std::vector<double> model = {9.7, 9.8, 9.9, 10.02};
    const auto r = chiSquare(m, s, model);
    ASSERT_TRUE(r);
    // Residuals 0.3, 0.3, 0.3, 0.28; weights 1e4, 1e4, 1e4, 2.5e3.
    const double c = (3 * 1e4 * 0.3 + 2.5e3 * 0.28) / (3 * 1e4 + 2.5e3);
    EXPECT_NEAR(r->zeroPoint, c, 1e-12);
    const double chi2 = 3 * std::pow((0.3 - c) / 0.01, 2) + std::pow((0.28 - c) / 0.02, 2);
    EXPECT_NEAR(r->chi2, chi2, 1e-9);
    EXPECT_EQ(r->points, 4);
}

TEST(ChiSquare, PointsWithoutAUsableErrorOrValueAreLeftOut) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<double> m = {1, 2, 3, 4};
    const std::vector<double> s = {0.1, 0, -1, 0.1};
    const std::vector<double> model = {1, 2, 3, nan};
    const auto r = chiSquare(m, s, model);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->points, 1);
    EXPECT_DOUBLE_EQ(r->chi2, 0);
    EXPECT_FALSE(chiSquare(m, std::vector<double>(4, 0.0), model)) << "no usable error at all";
}

TEST(ChiSquare, FluxAndMagnitudeGiveOneChiSquareForSmallErrors) {
    // The same points as fluxes with errors, turned into magnitudes to first order, against the model
    // scaled by any factor: the chi-square does not see the scale (it is the zero point).
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0, 1);
    std::vector<double> model, fluxMag, errMag, scaledModel;
    double direct = 0;
    std::vector<double> ratio;
    for (int i = 0; i < 200; ++i) {
        const double light = 1 + 0.3 * std::sin(0.1 * i);
        const double sigmaF = 0.001 * light;
        const double observed = light + sigmaF * noise(rng);
        model.push_back(light);
        fluxMag.push_back(-2.5 * std::log10(observed));
        errMag.push_back(2.5 / std::log(10.0) * sigmaF / observed);
        scaledModel.push_back(3.7 * light);
        direct += std::pow((observed - light) / sigmaF, 2);
    }
    const auto r = chiSquare(fluxMag, errMag, lightToMagnitudes(scaledModel));
    ASSERT_TRUE(r);
    EXPECT_NEAR(r->zeroPoint, 2.5 * std::log10(3.7), 1e-4);
    EXPECT_NEAR(r->chi2 / direct, 1, 0.02) << "magnitude chi2 " << r->chi2 << " flux chi2 " << direct;
}

struct SimplexCase {
    const char* name;
    std::function<double(const std::vector<double>&)> f;
    std::vector<double> start, lower, upper, step, truth;
    double tolerance;
};

class SimplexTable : public ::testing::TestWithParam<SimplexCase> {};

TEST_P(SimplexTable, FindsTheMinimumInsideTheBox) {
    const SimplexCase& c = GetParam();
    SimplexOptions o;
    o.lower = c.lower;
    o.upper = c.upper;
    o.step = c.step;
    o.maxEvaluations = 3000;
    o.fTolerance = 1e-14;
    o.xTolerance = 1e-8;
    int reports = 0;
    const SimplexResult r = minimiseSimplex(batchOf(c.f), c.start, o, [&](const SimplexProgress&) { ++reports; }, kNever);
    ASSERT_EQ(r.best.size(), c.truth.size());
    for (std::size_t j = 0; j < c.truth.size(); ++j) {
        EXPECT_NEAR(r.best[j], c.truth[j], c.tolerance) << c.name << " parameter " << j;
        EXPECT_GE(r.best[j], c.lower[j]) << c.name;
        EXPECT_LE(r.best[j], c.upper[j]) << c.name;
    }
    EXPECT_TRUE(r.converged) << c.name << " after " << r.evaluations;
    EXPECT_GT(reports, 0);
    EXPECT_FALSE(r.cancelled);
}

INSTANTIATE_TEST_SUITE_P(
    Functions, SimplexTable,
    ::testing::Values(
        SimplexCase{"quadratic bowl, scaled axes",
                    [](const std::vector<double>& x) { return std::pow(x[0] - 82, 2) / 4 + std::pow((x[1] - 0.6) / 0.01, 2); },
                    {76, 0.75}, {0, 0.001}, {90, 1000}, {2, 0.05}, {82, 0.6}, 1e-4},
        SimplexCase{"Rosenbrock valley",
                    [](const std::vector<double>& x) { return 100 * std::pow(x[1] - x[0] * x[0], 2) + std::pow(1 - x[0], 2); },
                    {-1.2, 1}, {-5, -5}, {5, 5}, {0.5, 0.5}, {1, 1}, 1e-4},
        SimplexCase{"minimum outside the box: ends on the bound",
                    [](const std::vector<double>& x) { return std::pow(x[0] - 95, 2) + std::pow(x[1] - 0.3, 2); },
                    {80, 0.5}, {0, 0}, {90, 1}, {2, 0.1}, {90, 0.3}, 1e-4},
        SimplexCase{"one parameter",
                    [](const std::vector<double>& x) { return std::cosh(x[0] - 0.123); }, {0.4}, {-0.5}, {0.5},
                    {0.01}, {0.123}, 1e-4},
        SimplexCase{"four parameters, correlated",
                    [](const std::vector<double>& x) {
                        const double a = x[0] - 1, b = x[1] - 2, c = x[2] - 3, d = x[3] - 4;
                        return a * a + b * b + c * c + d * d + 1.5 * a * b + 0.5 * c * d;
                    },
                    {0, 0, 0, 0}, {-10, -10, -10, -10}, {10, 10, 10, 10}, {1, 1, 1, 1}, {1, 2, 3, 4}, 1e-3}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(Simplex, AnObjectiveThatFailsSomewhereIsAvoided) {
    // +inf (or NaN) beyond x = 1: the minimum at 0.8 must still be found from the far side.
    auto f = [](const std::vector<double>& x) {
        return x[0] > 1 ? std::numeric_limits<double>::quiet_NaN() : std::pow(x[0] - 0.8, 2);
    };
    SimplexOptions o{{-5}, {5}, {0.5}};
    const SimplexResult r = minimiseSimplex(batchOf(f), {-2}, o, {}, kNever);
    EXPECT_NEAR(r.best[0], 0.8, 1e-3);
}

TEST(Simplex, TheSameRunOnOneOrFourThreads) {
    auto f = [](const std::vector<double>& x) { return std::pow(x[0] - 3, 2) + std::pow(x[1] + 1, 4) + x[0] * x[1]; };
    SimplexOptions o{{-10, -10}, {10, 10}, {1, 1}};
    const SimplexResult one = minimiseSimplex(batchOf(f, 1), {0, 0}, o, {}, kNever);
    const SimplexResult four = minimiseSimplex(batchOf(f, 4), {0, 0}, o, {}, kNever);
    EXPECT_EQ(one.best, four.best);
    EXPECT_EQ(one.evaluations, four.evaluations);
}

TEST(Simplex, CancelStopsAndKeepsTheBestPointSoFar) {
    std::atomic<bool> cancel{false};
    int calls = 0;
    double bestSeen = std::numeric_limits<double>::infinity();
    std::vector<double> bestX;
    auto f = [&](const std::vector<double>& x) {
        const double v = std::pow(x[0] - 50, 2) + std::pow(x[1] - 50, 2);
        if (v < bestSeen) {
            bestSeen = v;
            bestX = x;
        }
        if (++calls == 12) {
            cancel = true;
        }
        return v;
    };
    SimplexOptions o{{0, 0}, {100, 100}, {1, 1}};
    const SimplexResult r = minimiseSimplex(batchOf(f, 1), {0, 0}, o, {}, cancel);
    EXPECT_TRUE(r.cancelled);
    EXPECT_FALSE(r.converged);
    EXPECT_LE(calls, 14) << "stops after the batch in hand";
    EXPECT_EQ(r.best, bestX);
    EXPECT_DOUBLE_EQ(r.value, bestSeen);
}

TEST(Curvature, ErrorsOfAnExactChiSquareAreItsCovariance) {
    // chi2 = (x - a)^T C^-1 (x - a) with C = [[s1^2, rho s1 s2], [rho s1 s2, s2^2]]: the errors are s1, s2.
    const double s1 = 0.3, s2 = 0.02, rho = 0.8;
    const double det = s1 * s1 * s2 * s2 * (1 - rho * rho);
    auto chi2 = [&](const std::vector<double>& x) {
        const double a = x[0] - 82, b = x[1] - 0.6;
        return (s2 * s2 * a * a - 2 * rho * s1 * s2 * a * b + s1 * s1 * b * b) / det;
    };
    const auto e = curvatureErrors(batchOf(chi2), {82, 0.6}, {0.1, 0.005}, {0, 0.001}, {90, 1000});
    ASSERT_TRUE(e[0] && e[1]);
    EXPECT_NEAR(*e[0], s1, 1e-6);
    EXPECT_NEAR(*e[1], s2, 1e-8);
    const auto scaled = curvatureErrors(batchOf(chi2), {82, 0.6}, {0.1, 0.005}, {0, 0.001}, {90, 1000}, 2);
    EXPECT_NEAR(*scaled[0], 2 * s1, 1e-6);
}

TEST(Curvature, AtABoundTheDifferenceMovesInwardAndASaddleHasNoErrors) {
    auto bowl = [](const std::vector<double>& x) { return std::pow((x[0] - 90) / 0.5, 2); };
    const auto e = curvatureErrors(batchOf(bowl), {90}, {0.1}, {0}, {90});
    ASSERT_TRUE(e[0]);
    EXPECT_NEAR(*e[0], 0.5, 1e-9);
    auto saddle = [](const std::vector<double>& x) { return x[0] * x[0] - x[1] * x[1]; };
    const auto s = curvatureErrors(batchOf(saddle), {0, 0}, {0.1, 0.1}, {-1, -1}, {1, 1});
    EXPECT_FALSE(s[0]);
    EXPECT_FALSE(s[1]);
}

} // namespace
} // namespace corvane::fitting
