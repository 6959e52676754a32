// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "roche/NeckShape.h"

#include <gtest/gtest.h>

#include <cmath>

namespace corvane::roche {
namespace {

// The potential at (x, 0, z) in star 1's frame, from the Roche formula.
double potentialAt(double q, double x, double z) {
    const double r1 = std::sqrt(x * x + z * z);
    const double r2 = std::sqrt((1 - x) * (1 - x) + z * z);
    return 1 / r1 + q * (1 / r2 - x) + (1 + q) / 2 * x * x;
}

class RecommendedRadiusTable : public ::testing::TestWithParam<double> {};

TEST_P(RecommendedRadiusTable, PutsStarTwosPoleOnStarOnesEquipotential) {
    const double q = GetParam();
    for (double r1 : {0.1, 0.3, 0.45, 0.567, 1.0}) {
        const double r2 = RecommendedRadius2(q, r1);
        ASSERT_GT(r2, 0.0) << "q " << q << " r1 " << r1;
        EXPECT_NEAR(potentialAt(q, 1, r2) / potentialAt(q, 0, r1), 1.0, 1e-12) << "q " << q << " r1 " << r1;
    }
}

INSTANTIATE_TEST_SUITE_P(MassRatios, RecommendedRadiusTable, ::testing::Values(0.001, 0.0625, 0.3, 1.0, 2.4, 21.0, 1000.0));

TEST(RecommendedRadius, EqualMassesGiveEqualPoles) {
    for (double r1 : {0.2, 0.38, 0.5}) {
        EXPECT_NEAR(RecommendedRadius2(1.0, r1), r1, 1e-12) << r1;
    }
}

TEST(RecommendedRadius, HeavierCompanionIsTheBiggerStar) {
    EXPECT_GT(RecommendedRadius2(2.4, 0.305), 0.305);
    EXPECT_LT(RecommendedRadius2(0.4, 0.305), 0.305);
}

TEST(RecommendedRadius, DegenerateInputsGiveZeroOrTheClampedResult) {
    EXPECT_EQ(RecommendedRadius2(1.0, 0.0), 0.0);
    EXPECT_EQ(RecommendedRadius2(1.0, -0.3), 0.0);
    EXPECT_EQ(RecommendedRadius2(1.0, std::nan("")), 0.0);
    EXPECT_EQ(RecommendedRadius2(0.0, 0.3), RecommendedRadius2(0.001, 0.3));
}

} // namespace
} // namespace corvane::roche
