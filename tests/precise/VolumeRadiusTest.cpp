// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "precise/VolumeRadius.h"
#include "roche/LobeRadius.h"
#include "support/Bisect.h"

#include <gtest/gtest.h>

#include <cmath>

namespace corvane::precise {
namespace {

// Eggleton (1983), volume-equivalent lobe radius; y = mass of the star over the mass of the other.
double eggletonRadius(double y) {
    const double y23 = std::cbrt(y * y);
    return 0.49 * y23 / (0.6 * y23 + std::log(1 + std::cbrt(y)));
}

// The lobe's pole, by bisection of the potential along the axis against the critical value.
double exactLobePole(double q) {
    const double omega = roche::RochePotentialAt(q, roche::InnerLagrangianPoint(q), 1, 0);
    return corvane::testing::bisect([&](double r) { return roche::RochePotentialAt(q, r, 0, 1) - omega; }, 1e-6, 1.0);
}

// The volume-equivalent radius: the lobe itself against Eggleton's fit (good to 1 % over all q), a
// small star against the first-order distortion it barely has, and detached stars always above
// their pole radius, which is a Roche surface's shortest.
class VolumeRadiusTable : public ::testing::TestWithParam<double> {};

TEST_P(VolumeRadiusTable, TheLobeIsEggletonsAndASmallStarIsNearlyItsPole) {
    const double q = GetParam();
    const double lobePole = exactLobePole(q);
    const auto lobe = volumeEquivalentRadius(q, lobePole * (1 - 1e-12));
    ASSERT_TRUE(lobe) << "q = " << q;
    EXPECT_NEAR(*lobe / eggletonRadius(1 / q), 1, 0.01) << "q = " << q;
    EXPECT_GT(*lobe, lobePole) << "q = " << q;
    for (double fill : {0.2, 0.5, 0.8, 0.95}) {
        const auto r = volumeEquivalentRadius(q, fill * lobePole);
        ASSERT_TRUE(r) << "q = " << q << ", fill " << fill;
        EXPECT_GT(*r, fill * lobePole) << "q = " << q << ", fill " << fill;
        EXPECT_LT(*r, *lobe) << "q = " << q << ", fill " << fill;
    }
    // Tides and rotation stretch a small star by about (1 + q) r^3 / 2 at the equator: the volume
    // radius sits within that of the pole.
    const double small = 0.05 * lobePole;
    const double stretch = (1 + q) * small * small * small;
    EXPECT_NEAR(*volumeEquivalentRadius(q, small) / small, 1, 2 * stretch) << "q = " << q;
    // A star past its lobe has no volume of its own.
    EXPECT_FALSE(volumeEquivalentRadius(q, lobePole * 1.01)) << "q = " << q;
}

INSTANTIATE_TEST_SUITE_P(MassRatios, VolumeRadiusTable, ::testing::Values(0.05, 0.3, 1.0, 2.4, 10.0));

} // namespace
} // namespace corvane::precise
