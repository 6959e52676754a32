// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "roche/Constants.h"
#include "roche/Roche.h"
#include "roche/StarShape.h"
#include "support/Bisect.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace corvane::roche {
namespace {

using corvane::testing::bisect;
using corvane::testing::potential;

ShapeInputs inputs(double q, double r1, double r2) {
    RocheState s;
    s.Q = q;
    RochePot(s);
    return {r1, r2, q, s.LagrangeX};
}

struct ShapeFixture : ::testing::Test {
    ShapeFixture() { cache.resize(10); }
    ShapeState state;
    ShapeCache cache;
    double shape(const ShapeInputs& in, int star, double phi, double theta, bool force = true) {
        return StarShape(state, in, cache, star, phi, theta, 1, 2, 3, force);
    }
};

struct DetachedCase {
    double q;
    double pole;
    int star;
};

void PrintTo(const DetachedCase& c, std::ostream* os) {
    *os << "q " << c.q << " pole " << c.pole << " star " << c.star;
}

class DetachedShape : public ShapeFixture, public ::testing::WithParamInterface<DetachedCase> {};

TEST_P(DetachedShape, LiesOnTheEquipotentialThroughThePole) {
    const auto [q, p, star] = GetParam();
    const ShapeInputs in = inputs(q, star == 1 ? p : 0.2, star == 2 ? p : 0.2);
    const double qq = star == 1 ? q : 1 / q;
    const double offset = star == 1 ? -HalfPi : HalfPi;
    const double omega = 1 / p + qq / std::sqrt(1 + p * p);
    for (double phi : {-1.2, -0.4, 0.0, 0.5, 1.1}) {
        for (double theta : {-HalfPi, 0.0, 1.0, Pi, 4.0}) {
            const double lambda = std::sin(offset + theta) * std::cos(phi);
            const double nu = std::sin(phi);
            const double exact = bisect([&](double r) { return potential(qq, r, lambda, nu) - omega; }, 1e-4, p * 1.6);
            EXPECT_NEAR(shape(in, star, phi, theta), exact, 1e-3 * exact)
                << "q " << q << " pole " << p << " star " << star << " Phi " << phi << " Theta " << theta;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(WellInsideTheLobe, DetachedShape,
                         ::testing::Values(DetachedCase{1.0, 0.2, 1}, DetachedCase{2.4, 0.2, 1},
                                           DetachedCase{0.5, 0.25, 1}, DetachedCase{2.4, 0.3, 2},
                                           DetachedCase{0.3, 0.15, 2}));

TEST_F(ShapeFixture, PoleReturnsThePoleRadius) {
    for (double q : {0.1, 1.0, 2.4, 10.0}) {
        const ShapeInputs in = inputs(q, 0.25, 0.3);
        EXPECT_NEAR(shape(in, 1, HalfPi, 0.7), 0.25, 0.25 * 5e-4) << "q " << q;
        EXPECT_NEAR(shape(in, 2, -HalfPi, 2.0), 0.3, 0.3 * 5e-4) << "q " << q;
    }
}

TEST_F(ShapeFixture, StarTwoIsStarOneSeenWithTheInverseMassRatio) {
    const ShapeInputs two = inputs(2.4, 0.2, 0.3);
    const ShapeInputs one = inputs(1 / 2.4, 0.3, 0.2);
    for (double phi : {0.0, 0.6}) {
        // Star 2 at Theta faces the same way as star 1 at Theta + pi.
        for (double theta : {0.0, 0.8, HalfPi, 2.5}) {
            EXPECT_NEAR(shape(two, 2, phi, theta), shape(one, 1, phi, theta + Pi), 1e-9) << phi << " " << theta;
        }
    }
}

TEST_F(ShapeFixture, CacheAnswersUntilForced) {
    const ShapeInputs a = inputs(1.0, 0.3, 0.3);
    const ShapeInputs b = inputs(5.0, 0.2, 0.3);
    const double first = StarShape(state, a, cache, 1, 0.2, 1.0, 2, 3, 4, false);
    EXPECT_EQ(cache.get(2, 3, 4, 1), first);
    state.IterCount = -7;
    EXPECT_EQ(StarShape(state, b, cache, 1, 0.2, 1.0, 2, 3, 4, false), first) << "cached value, even for new inputs";
    EXPECT_EQ(state.IterCount, -7) << "no iteration ran";
    const double forced = StarShape(state, b, cache, 1, 0.2, 1.0, 2, 3, 4, true);
    EXPECT_NE(forced, first);
    EXPECT_EQ(cache.get(2, 3, 4, 1), forced);
    EXPECT_EQ(cache.get(2, 3, 4, 2), 0.0) << "stars are kept apart";
    cache.resize(10);
    EXPECT_EQ(cache.get(2, 3, 4, 1), 0.0) << "resizing clears";
}

TEST_F(ShapeFixture, CacheIgnoresIndicesOutsideTheGrid) {
    cache.resize(2);
    cache.put(99, 0, 0, 1, 1.0);
    cache.put(0, -1, 0, 1, 1.0);
    cache.put(0, 0, 0, 3, 1.0);
    EXPECT_EQ(cache.get(99, 0, 0, 1), 0.0);
    EXPECT_EQ(cache.get(0, -1, 0, 1), 0.0);
    const ShapeInputs in = inputs(1.0, 0.3, 0.3);
    EXPECT_GT(StarShape(state, in, cache, 1, 0.0, 0.0, 500, 500, 9, false), 0.0);
}

TEST_F(ShapeFixture, OverfillingStarIsClippedAtTheLagrangePointOnTheFacingSide) {
    const ShapeInputs in = inputs(1.0, 0.45, 0.45); // the q = 1 lobe pole radius is 0.356
    EXPECT_NEAR(shape(in, 1, 0.0, Pi), in.LagrangeX, 1e-12) << "star 1 towards star 2";
    EXPECT_NEAR(shape(in, 2, 0.0, 0.0), 1 - in.LagrangeX, 1e-12) << "star 2 towards star 1";
    // Facing-side radii stay bounded right up to the pole (L / cos(Phi) would grow without limit).
    for (double phi = 0.0; phi <= HalfPi; phi += 0.05) {
        for (double theta : {HalfPi + 0.1, Pi, 3 * HalfPi - 0.1}) {
            const double r = shape(in, 1, phi, theta);
            EXPECT_GT(r, 0.0) << "Phi " << phi << " Theta " << theta;
            EXPECT_LT(r, 0.6) << "Phi " << phi << " Theta " << theta;
        }
    }
}

TEST_F(ShapeFixture, NoClosedSurfaceFallsBackToTheLagrangeLimit) {
    // A pole radius of 0.99 at q = 1 has a potential far below the lobe's: away from the companion
    // the iteration finds no closed surface.
    const ShapeInputs in = inputs(1.0, 0.99, 0.99);
    const double r = shape(in, 1, 0.0, 0.0);
    EXPECT_EQ(state.IterCount, 20);
    EXPECT_DOUBLE_EQ(r, in.LagrangeX);
}

TEST_F(ShapeFixture, EveryInputGivesAPositiveFiniteRadius) {
    for (double q : {0.001, 0.0625, 1.0, 21.0, 1000.0}) {
        for (double p : {0.01, 0.3, 0.567, 0.99, 1.0}) {
            const ShapeInputs in = inputs(q, p, p);
            for (int star : {1, 2}) {
                for (double phi : {-HalfPi, -0.7, 0.0, 0.7, HalfPi}) {
                    for (double theta = -HalfPi; theta <= 3 * HalfPi; theta += 0.4) {
                        const double r = shape(in, star, phi, theta);
                        ASSERT_TRUE(std::isfinite(r) && r > 0)
                            << "q " << q << " p " << p << " star " << star << " Phi " << phi << " Theta " << theta
                            << " r " << r;
                    }
                }
            }
        }
    }
}

TEST(StarSpinRadius, SlowRotationIsASphereAndFastRotationIsUnstable) {
    ShapeState s;
    EXPECT_NEAR(StarSpinRadius(s, 0.0, 1e9), 1.0, 1e-9);
    EXPECT_NEAR(StarSpinRadius(s, HalfPi, 0.3 * 86400), 1.0, 1e-12) << "no flattening at the pole";
    const double equator = StarSpinRadius(s, 0.0, 0.3 * 86400);
    EXPECT_GT(equator, 1.05);
    EXPECT_LT(equator, 1.15);
    EXPECT_FALSE(s.SpinUnstable);
    const double fast = StarSpinRadius(s, 0.0, 0.1 * 86400);
    EXPECT_TRUE(s.SpinUnstable);
    EXPECT_TRUE(std::isfinite(fast));
    ShapeState none;
    EXPECT_EQ(StarSpinRadius(none, 0.0, 0.0), 1.0);
    EXPECT_EQ(StarSpinRadius(none, 0.0, -5.0), 1.0);
    EXPECT_FALSE(none.SpinUnstable);
}

struct ViewFixture : ShapeFixture {
    ViewGeometry view;
    ShapeInputs in = inputs(2.4, 0.3, 0.4);
    ViewFixture() {
        view.ZoomScale = 150;
        view.HalfWidth = 400;
        view.HalfHeight = 250;
        view.CentreX = 30;
        view.CentreY = -20;
    }
    ScreenPoint point(int star, double phi, double theta, double eta, double iota, double gamma) {
        return CT(state, in, cache, view, star, phi, theta, eta, iota, gamma, 1, 1, 1);
    }
};

TEST_F(ViewFixture, WithoutTidesEveryPointLiesOnASphereOfThePoleRadius) {
    view.Tidal = false;
    for (double eta : {0.0, 1.0, 4.0}) {
        for (double iota : {0.0, 0.5, HalfPi}) {
            for (double gamma : {0.0, 0.3}) {
                for (double phi : {-1.0, 0.0, 0.9}) {
                    for (double theta : {0.0, 2.0}) {
                        const ScreenPoint p = point(2, phi, theta, eta, iota, gamma);
                        const double dy = p.Y - 430;
                        const double dz = p.Z - 230;
                        EXPECT_NEAR(std::sqrt(p.X * p.X + dy * dy + dz * dz), 2 * 150 * 0.4, 1e-9)
                            << eta << " " << iota << " " << gamma << " " << phi << " " << theta;
                    }
                }
            }
        }
    }
}

TEST_F(ViewFixture, PoleFacesTheViewerFaceOnAndPointsDownTheScreenEdgeOn) {
    view.Tidal = false;
    const double s = 2 * 150 * 0.3;
    const ScreenPoint faceOn = point(1, HalfPi, 0.0, 0.0, 0.0, 0.0);
    EXPECT_NEAR(faceOn.X, s, 1e-9);
    EXPECT_NEAR(faceOn.Y, 430, 1e-9);
    EXPECT_NEAR(faceOn.Z, 230, 1e-9);
    const ScreenPoint edgeOn = point(1, HalfPi, 0.0, 0.0, HalfPi, 0.0);
    EXPECT_NEAR(edgeOn.X, 0, 1e-9);
    EXPECT_NEAR(edgeOn.Z, 230 + s, 1e-9);
    // An axis tilt of 90 degrees turns that pole onto the horizontal.
    const ScreenPoint tilted = point(1, HalfPi, 0.0, 0.0, HalfPi, HalfPi);
    EXPECT_NEAR(tilted.Y, 430 + s, 1e-9);
    EXPECT_NEAR(tilted.Z, 230, 1e-9);
}

TEST_F(ViewFixture, TidalShapeAndSpinShapeAreUsedAsSwitched) {
    const double tidal = StarShape(state, in, cache, 1, 0.3, 2.0, 0, 0, 0, true);
    const ScreenPoint p = CT(state, in, cache, view, 1, 0.3, 2.0, 0.0, 0.0, 0.0, 4, 4, 4);
    const double len = std::sqrt(p.X * p.X + std::pow(p.Y - 430, 2) + std::pow(p.Z - 230, 2));
    EXPECT_NEAR(len, 2 * 150 * tidal, 1e-9);
    view.TwoStars = false;
    const double spin = StarSpinRadius(state, 0.3, view.RotPeriodSec) / 2;
    const ScreenPoint q = point(1, 0.3, 2.0, 0.0, 0.0, 0.0);
    const double len2 = std::sqrt(q.X * q.X + std::pow(q.Y - 430, 2) + std::pow(q.Z - 230, 2));
    EXPECT_NEAR(len2, 2 * 150 * spin, 1e-9);
}

} // namespace
} // namespace corvane::roche
