// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "fitting/DifferentialEvolution.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace corvane::fitting {
namespace {

BatchObjective batchOf(std::function<double(const std::vector<double>&)> f, std::vector<std::vector<double>>* seen = nullptr) {
    return [f, seen](const std::vector<std::vector<double>>& points) {
        std::vector<double> out;
        for (const auto& p : points) {
            out.push_back(f(p));
            if (seen != nullptr) {
                seen->push_back(p);
            }
        }
        return out;
    };
}

// Rastrigin's function, a lattice of local minima one apart around the global one at (1.5, -0.5):
// started in a far valley the search reaches the global valley, every point it tries lies in the box,
// and the same seed searches the same way. A problem whose objective cannot be computed anywhere but
// at the start ends at the start.
TEST(DifferentialEvolution, LeavesTheLocalValleysOfRastriginsFunction) {
    auto rastrigin = [](const std::vector<double>& x) {
        double s = 20;
        for (std::size_t j = 0; j < x.size(); ++j) {
            const double d = x[j] - (j == 0 ? 1.5 : -0.5);
            s += d * d - 10 * std::cos(2 * std::numbers::pi * d);
        }
        return s;
    };
    std::vector<std::vector<double>> seen;
    EvolutionOptions o;
    o.lower = {-5, -5};
    o.upper = {5, 5};
    o.generations = 200;
    o.tolerance = 1e-6;
    std::atomic<bool> cancel{false};
    const EvolutionResult r = minimiseDifferentialEvolution(batchOf(rastrigin, &seen), {-4, 4}, o, {}, cancel);
    EXPECT_NEAR(r.best[0], 1.5, 0.05) << r.generations << " generations, value " << r.value;
    EXPECT_NEAR(r.best[1], -0.5, 0.05);
    EXPECT_LT(r.value, 0.5);
    EXPECT_EQ(static_cast<std::size_t>(r.evaluations), seen.size());
    for (const auto& p : seen) {
        ASSERT_GE(p[0], -5);
        ASSERT_LE(p[0], 5);
        ASSERT_GE(p[1], -5);
        ASSERT_LE(p[1], 5);
    }
    const EvolutionResult again = minimiseDifferentialEvolution(batchOf(rastrigin), {-4, 4}, o, {}, cancel);
    EXPECT_EQ(again.best, r.best);
    EXPECT_EQ(again.evaluations, r.evaluations);

    const EvolutionResult nowhere = minimiseDifferentialEvolution(
        batchOf([](const std::vector<double>& x) { return x[0] == 2 && x[1] == 3 ? 1.0 : std::nan(""); }), {2, 3}, o, {},
        cancel);
    EXPECT_EQ(nowhere.best, (std::vector<double>{2, 3}));
    EXPECT_EQ(nowhere.value, 1.0);
}

// A cancel before the first generation stops after the first population, with its best.
TEST(DifferentialEvolution, ACancelStopsAfterTheBatchRunning) {
    EvolutionOptions o;
    o.lower = {0};
    o.upper = {10};
    o.population = 8;
    std::atomic<bool> cancel{true};
    const EvolutionResult r =
        minimiseDifferentialEvolution(batchOf([](const std::vector<double>& x) { return (x[0] - 7) * (x[0] - 7); }), {1}, o, {},
                                      cancel);
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(r.evaluations, 8);
    EXPECT_EQ(r.generations, 0);
    EXPECT_LT(std::abs(r.best[0] - 7), 10.0 / 7 + 1e-9) << "the Latin hypercube puts a member in every seventh of the box";
}

} // namespace
} // namespace corvane::fitting
