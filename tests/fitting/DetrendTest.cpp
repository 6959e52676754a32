// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "fitting/Detrend.h"
#include "fitting/Observations.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace corvane::fitting {
namespace {

// Series with a gap in the middle, each half with its own quadratic: the fit per stretch gives both
// back exactly (to rounding), the mean level stays, and one polynomial for the whole series cannot
// follow the jump. A point of weight 0 is left out of the fit but still gets the trend's value.
TEST(Detrend, PolynomialsPerStretchComeBackExactly) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> when(0, 10);
    std::vector<double> t, y, w;
    auto truth = [](double x) { return x < 5 ? 0.01 + 0.002 * x - 3e-4 * x * x : -0.02 + 0.001 * (x - 7) * (x - 7); };
    for (int i = 0; i < 400; ++i) {
        double x = when(rng);
        if (std::abs(x - 5) < 0.5) {
            continue; // the gap
        }
        t.push_back(x);
        y.push_back(truth(x));
        w.push_back(1 + i % 3);
    }
    y[7] += 5; // an outlier with no weight
    w[7] = 0;
    int count = 0;
    const std::vector<int> stretch = stretchesOf(t, 0.6, &count);
    EXPECT_EQ(count, 2);
    for (std::size_t i = 0; i < t.size(); ++i) {
        EXPECT_EQ(stretch[i], t[i] < 5 ? 0 : 1) << "t " << t[i];
    }
    double mean = 0, weights = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        mean += w[i] * truth(t[i]);
        weights += w[i];
    }
    mean /= weights;
    struct Case {
        int degree;
        double gap, worst; // the largest miss allowed, magnitudes
        int stretches;
    };
    for (const Case c : {Case{2, 0.6, 1e-12, 2}, Case{5, 0.6, 1e-11, 2}, Case{2, 0.8, 1e-12, 2}}) {
        const Trend trend = fitTrend(t, y, w, c.degree, c.gap);
        EXPECT_EQ(trend.stretches, c.stretches);
        for (std::size_t i = 0; i < t.size(); ++i) {
            ASSERT_NEAR(trend.value[i], truth(t[i]) - mean, c.worst) << "degree " << c.degree << " gap " << c.gap << " t " << t[i];
        }
    }
    // One polynomial across the jump misses it by millimagnitudes; none leaves the series alone.
    const Trend one = fitTrend(t, y, w, 2, 0);
    EXPECT_EQ(one.stretches, 1);
    double worst = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        worst = std::max(worst, std::abs(one.value[i] - (truth(t[i]) - mean)));
    }
    EXPECT_GT(worst, 3e-3);
    const Trend none = fitTrend(t, y, w, -1, 0);
    EXPECT_EQ(none.stretches, 0);
    EXPECT_EQ(none.value, std::vector<double>(t.size(), 0.0));
}

// A stretch with fewer points than the degree asks takes the degree they allow (two points: a line
// through both); a stretch at one instant takes a constant.
TEST(Detrend, FewPointsTakeALowerDegree) {
    const std::vector<double> t = {0, 1, 10, 10, 10}, y = {1, 3, 7, 8, 9}, w(5, 1.0);
    const Trend trend = fitTrend(t, y, w, 4, 2);
    EXPECT_EQ(trend.stretches, 2);
    const double mean = (1 + 3 + 8 * 3) / 5.0;
    EXPECT_NEAR(trend.value[0], 1 - mean, 1e-12);
    EXPECT_NEAR(trend.value[1], 3 - mean, 1e-12);
    for (std::size_t i = 2; i < 5; ++i) {
        EXPECT_NEAR(trend.value[i], 8 - mean, 1e-12) << i;
    }
}

// The slots are binInPhase's bins: the mean of each slot's points is the binned point, below the
// limit (no binning: each point its own slot) and above it.
TEST(Detrend, PhaseSlotsAreTheBinsOfBinInPhase) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> phase(0, 1), value(9, 10);
    for (const std::size_t limit : {std::size_t{2000}, std::size_t{700}, std::size_t{50}}) {
        Observations obs;
        for (int i = 0; i < 1000; ++i) {
            obs.x.push_back(i == 0 ? 0.99999999999 : phase(rng));
            obs.value.push_back(value(rng));
        }
        std::size_t bins = 0;
        const std::vector<std::size_t> slot = phaseSlots(obs.x, limit, bins);
        std::vector<double> sum(bins, 0.0), n(bins, 0.0);
        for (std::size_t i = 0; i < obs.size(); ++i) {
            ASSERT_LT(slot[i], bins);
            sum[slot[i]] += obs.value[i];
            n[slot[i]] += 1;
        }
        binInPhase(obs, limit);
        ASSERT_EQ(obs.size(), bins) << "limit " << limit;
        for (std::size_t s = 0; s < bins; ++s) {
            EXPECT_NEAR(obs.value[s], sum[s] / n[s], 1e-12) << "limit " << limit << " slot " << s;
        }
    }
}

} // namespace
} // namespace corvane::fitting
