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

#include "roche/Constants.h"
#include "roche/Roche.h"

namespace corvane::roche {
namespace {

// Plain bisection on the potential along the pole of star 2, written from the Roche formula.
double bisectStar2Pole(double q, double r1) {
    const double target = 1 / r1 + q / std::sqrt(1 + r1 * r1);
    double lo = 1e-6, hi = 3;
    for (int k = 0; k < 200; ++k) {
        const double mid = 0.5 * (lo + hi);
        (potentialAt(q, 1, mid) > target ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

class NeckShape2Table : public ::testing::TestWithParam<double> {};

TEST_P(NeckShape2Table, AtStarTwosPoleIsTheRecommendedRadius) {
    const double q = GetParam();
    for (double r1 : {0.25, 0.38, 0.48}) {
        RocheState s;
        s.Q = q;
        RochePot(s);
        const double neck = NeckShape2({q, r1, 0.3, s.LagrangeX}, 0.0, 1.0);
        EXPECT_NEAR(neck, bisectStar2Pole(q, r1), 1e-8) << "q " << q << " r1 " << r1;
        EXPECT_NEAR(neck, RecommendedRadius2(q, r1), 1e-8) << "q " << q << " r1 " << r1;
    }
}

INSTANTIATE_TEST_SUITE_P(MassRatios, NeckShape2Table, ::testing::Values(0.1, 0.3, 0.5, 1.0, 2.4, 5.0));

struct ContactCase {
    double q;
    double r1;
};

void PrintTo(const ContactCase& c, std::ostream* os) { *os << "q " << c.q << " r1 " << c.r1; }

class NeckOnTheGrid : public ::testing::TestWithParam<ContactCase> {};

TEST_P(NeckOnTheGrid, IsPositiveFiniteAndMeetsBothStars) {
    const auto [q, r1] = GetParam();
    RocheState s;
    s.Q = q;
    RochePot(s);
    const double r2 = RecommendedRadius2(q, r1);
    const NeckInputs in{q, r1, r2, s.LagrangeX};
    const int L = 40;
    NeckCache cache;
    cache.resize(L);
    for (int j = 0; j < L; ++j) {
        for (double z : {(j - 0.1) / L, (j + 1.1) / L}) {
            for (int i = 0; i <= L; ++i) {
                const double rho = NeckShape(in, cache, TwoPi * i / L, z, i, j, 1);
                ASSERT_TRUE(std::isfinite(rho) && rho > 0) << "ZC " << z << " angle " << i << " rho " << rho;
                ASSERT_LT(rho, 0.8) << "ZC " << z;
            }
        }
    }
    // At each centre the neck is the star's own outline across the line of centres: the surface
    // radius perpendicular to it, which StarShape gives at Theta = pi/2 and the latitude
    // asin(cos(angle)). A pixel at the default zoom is about 0.003 of the separation.
    ShapeCache shapes;
    shapes.resize(10);
    ShapeState state;
    const ShapeInputs shape{r1, r2, q, s.LagrangeX};
    for (double angle = 0; angle < TwoPi; angle += 0.3) {
        const double latitude = std::asin(std::cos(angle));
        const double star1 = StarShape(state, shape, shapes, 1, latitude, HalfPi, 0, 0, 0, true);
        const double star2 = StarShape(state, shape, shapes, 2, latitude, HalfPi, 0, 0, 0, true);
        NeckCache fresh;
        fresh.resize(L);
        EXPECT_NEAR(NeckShape(in, fresh, angle, 0.0, 0, 0, 1), star1, 0.003) << "star 1, angle " << angle;
        EXPECT_NEAR(NeckShape(in, fresh, angle, 1.0, 0, 0, 2), star2, 0.003) << "star 2, angle " << angle;
    }
    // The two sides meet at the inner Lagrangian point: both pole radii lie on one surface.
    NeckCache c2;
    c2.resize(L);
    const double below = NeckShape(in, c2, 1.0, s.LagrangeX, 0, 0, 1);
    const double above = NeckShape(in, c2, 1.0, s.LagrangeX + 1e-9, 0, 0, 2);
    EXPECT_NEAR(below, above, 0.003);
}

INSTANTIATE_TEST_SUITE_P(WUMaSystems, NeckOnTheGrid,
                         ::testing::Values(ContactCase{0.3, 0.48}, ContactCase{0.45, 0.4352}, ContactCase{1.0, 0.38},
                                           ContactCase{2.0, 0.308}));

TEST(NeckRadius, ADetachedGapGivesTheSmallestRadiusNotNaN) {
    // Two small stars: between them the line of centres is outside the surface.
    const double q = 1;
    const double target = 1 / 0.2 + q / std::sqrt(1 + 0.04);
    EXPECT_EQ(neckRadius(q, target, 0.5, 0.3), MinNeckRadius);
    EXPECT_GT(neckRadius(q, target, 0.0, 0.3), 0.19);
    for (double t : {-5.0, 0.0, 1e300, std::nan("")}) {
        const double r = neckRadius(q, t, 0.5, 1.0);
        EXPECT_TRUE(std::isfinite(r) && r >= MinNeckRadius && r <= MaxNeckRadius) << t;
    }
}

TEST(CTN, PlacesNeckPointsLikeCT) {
    // A neck point and the same point as a star-1 surface point in body coordinates.
    ViewGeometry view;
    view.Tidal = false;
    view.ZoomScale = 120;
    view.HalfWidth = 300;
    view.HalfHeight = 200;
    view.CentreX = -40;
    view.CentreY = 12;
    const double zc = 0.2, rho = 0.3, angle = 0.7;
    const ScreenPoint neck = CTN(rho, angle, zc, 0.4, 1.2, 0.1, view);
    const BodyDirection d{-zc, rho * std::sin(angle), rho * std::cos(angle)};
    const ScreenPoint same = project(d, 2 * 120, ViewTrig::of(0.4, 1.2, 0.1), view);
    EXPECT_DOUBLE_EQ(neck.X, same.X);
    EXPECT_DOUBLE_EQ(neck.Y, same.Y);
    EXPECT_DOUBLE_EQ(neck.Z, same.Z);
    // And a star point given by angles lands where CT puts it.
    ShapeState s;
    ShapeCache cache;
    cache.resize(2);
    const ShapeInputs in{0.25, 0.25, 1, 0.5};
    const double phi = 0.3, theta = 2.0;
    const ScreenPoint star = CT(s, in, cache, view, 1, phi, theta, 0.4, 1.2, 0.1, 0, 0, 0);
    const BodyDirection body = bodyDirection(phi, theta);
    const ScreenPoint again = project(body, 2 * 120 * 0.25, ViewTrig::of(0.4, 1.2, 0.1), view);
    EXPECT_DOUBLE_EQ(star.Y, again.Y);
    EXPECT_DOUBLE_EQ(star.Z, again.Z);
}

} // namespace
} // namespace corvane::roche
