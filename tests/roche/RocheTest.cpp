// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "roche/Constants.h"
#include "roche/Roche.h"
#include "support/Bisect.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

namespace corvane::roche {
namespace {

using corvane::testing::bisect;
using corvane::testing::potential;

// dOmega/dx on the axis between the centres, written from the potential, not from RochePot's text.
double axialForce(double q, double x) { return -1 / (x * x) + q * (1 / ((1 - x) * (1 - x)) - 1) + (1 + q) * x; }

double exactLagrangeX(double q) {
    return bisect([q](double x) { return axialForce(q, x); }, 1e-9, 1 - 1e-9);
}

double exactOmegaCrit(double q) { return potential(q, exactLagrangeX(q), 1, 0); }

// Pole radius of the lobe: Omega(r, lambda = 0, nu = 1) = OmegaCrit.
double exactLobePole(double q) {
    const double omega = exactOmegaCrit(q);
    return bisect([&](double r) { return potential(q, r, 0, 1) - omega; }, 1e-6, 1.0);
}

// Eggleton (1983), volume-equivalent lobe radius; y = mass of the star over the mass of the other.
double eggletonRadius(double y) {
    const double y23 = std::cbrt(y * y);
    return 0.49 * y23 / (0.6 * y23 + std::log(1 + std::cbrt(y)));
}

RocheState run(double q) {
    RocheState s;
    s.Q = q;
    RochePot(s);
    return s;
}

TEST(RochePot, EqualMassesGiveTheMidpointAndOmegaThreeAndThreeQuarters) {
    const RocheState s = run(1.0);
    EXPECT_DOUBLE_EQ(s.LagrangeX, 0.5);
    EXPECT_DOUBLE_EQ(s.OmegaCrit, 3.75);
    EXPECT_EQ(s.IterCount, 1) << "the first correction is 0, below the tolerance";
}

TEST(RochePot, DefaultMassRatioConvergesBelowTheMidpoint) {
    const RocheState s = run(2.4);
    EXPECT_LT(s.LagrangeX, 0.5);
    EXPECT_GT(s.IterCount, 1);
    EXPECT_LT(s.PotSlope / s.PotCurve, 0.0005);
}

TEST(RochePot, BelowUnitMassRatioSearchesOnPastItsFirstPass) {
    // The correction is negative for q < 1 (x grows from 0.5): a signed test once ended the search
    // after one pass, and "Equator Data" printed LagrangeX 0.72062 for q = 0.1 over rows that put
    // the lobe at 0.71751.
    for (double q : {0.9, 0.5, 0.2, 0.1, 0.05}) {
        const RocheState s = run(q);
        if (q <= 0.5) {
            EXPECT_GT(s.IterCount, 1) << "q = " << q;
        }
        EXPECT_GT(s.LagrangeX, 0.5) << "q = " << q;
        EXPECT_LT(std::fabs(s.PotSlope / s.PotCurve), 0.0005) << "q = " << q;
    }
}

struct MassRatioCase {
    double q;
    double tolX;     // allowed error of LagrangeX against the exact root
    double tolOmega; // allowed relative error of OmegaCrit
};

void PrintTo(const MassRatioCase& c, std::ostream* os) { *os << "q = " << c.q; }

class LagrangePointTable : public ::testing::TestWithParam<MassRatioCase> {};

TEST_P(LagrangePointTable, AgreesWithBisectionOfTheAxialForce) {
    const auto [q, tolX, tolOmega] = GetParam();
    const RocheState s = run(q);
    EXPECT_NEAR(s.LagrangeX, exactLagrangeX(q), tolX) << "q = " << q;
    EXPECT_NEAR(s.OmegaCrit / exactOmegaCrit(q), 1.0, tolOmega) << "q = " << q;
}

// The loop stops once a correction is below 0.0005 either way: Newton's quadratic convergence leaves
// x within about 1e-7 of the root, on both sides of q = 1 and at the clamp's extremes.
INSTANTIATE_TEST_SUITE_P(HeavierCompanion, LagrangePointTable,
                         ::testing::Values(MassRatioCase{1.0, 1e-12, 1e-12}, MassRatioCase{2.4, 1e-6, 1e-9},
                                           MassRatioCase{5, 1e-6, 1e-9}, MassRatioCase{21, 1e-6, 1e-9},
                                           MassRatioCase{1000, 1e-6, 1e-9}));
INSTANTIATE_TEST_SUITE_P(LighterCompanion, LagrangePointTable,
                         ::testing::Values(MassRatioCase{0.8, 1e-6, 1e-9}, MassRatioCase{0.5, 1e-6, 1e-9},
                                           MassRatioCase{0.1, 1e-6, 1e-9}, MassRatioCase{0.0625, 1e-6, 1e-9},
                                           MassRatioCase{0.001, 1e-6, 1e-9}));

TEST(RochePot, MatchesThePublishedLagrangePointApproximation) {
    // Plavec & Kratochvil (1964): x(L1) = 0.500 - 0.227 log10(q), good to about 0.01 for 0.1 < q < 10,
    // with q the mass of the other star over that of the star at the origin.
    for (double q : {1.0, 1.5, 2.4, 4.0, 8.0}) {
        EXPECT_NEAR(run(q).LagrangeX, 0.5 - 0.227 * std::log10(q), 0.01) << "q = " << q;
    }
}

class LobePoleTable : public ::testing::TestWithParam<double> {};

TEST_P(LobePoleTable, AgreesWithBisectionAndSitsJustInsideEggletonsVolumeRadius) {
    const double q = GetParam();
    for (double qq : {q, 1 / q}) {
        RocheState s = run(qq);
        const double r = StarRadius(s, s.OmegaCrit, qq, 0, HalfPi, 0);
        EXPECT_NEAR(r, exactLobePole(qq), 2e-3) << "q = " << qq;
        // The pole is the lobe's shortest radius: a few per cent below the volume-equivalent one.
        const double ratio = r / eggletonRadius(1 / qq);
        EXPECT_GT(ratio, 0.90) << "q = " << qq;
        EXPECT_LT(ratio, 0.97) << "q = " << qq;
    }
}

INSTANTIATE_TEST_SUITE_P(CatalogueRange, LobePoleTable, ::testing::Values(1.0, 2.4, 0.5, 0.0625, 3.67, 21.0));

TEST(StarRadius, DefaultListValues) {
    // The figures the "Roche Lobe" list prints for the default mass ratio, from the exact potential.
    RocheState s = run(2.4);
    EXPECT_NEAR(StarRadius(s, s.OmegaCrit, 2.4, 0, HalfPi, 0), exactLobePole(2.4), 5e-4);
    EXPECT_NEAR(exactLobePole(2.4), 0.2856, 1e-4);
    EXPECT_NEAR(exactLobePole(1 / 2.4), 0.4294, 1e-4);
    EXPECT_NEAR(exactLobePole(1.0), 0.3561, 1e-4);
}

TEST(StarRadius, RecordsDirectionAndStopsAtTheCap) {
    RocheState s = run(1.0);
    StarRadius(s, s.OmegaCrit, 1.0, 0, 0.3, 1.2);
    EXPECT_DOUBLE_EQ(s.DirX, std::cos(0.3) * std::sin(1.2));
    EXPECT_DOUBLE_EQ(s.DirZ, std::sin(0.3));
    EXPECT_DOUBLE_EQ(s.CurRadius, 0.5);
    // Towards the companion on the critical surface the fixed point is unstable: the cap ends it.
    const double r = StarRadius(s, s.OmegaCrit, 1.0, 0, 0, HalfPi);
    EXPECT_TRUE(std::isfinite(r));
    EXPECT_LE(s.IterCount, 20);
}

TEST(RocheGuards, DegenerateMassRatiosAreTakenAtTheEndsOfTheRange) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (double q : {0.0, -1.0, -inf, nan}) {
        const RocheState s = run(q);
        const RocheState low = run(MinMassRatio);
        EXPECT_EQ(s.LagrangeX, low.LagrangeX) << "q = " << q;
        EXPECT_EQ(s.OmegaCrit, low.OmegaCrit) << "q = " << q;
    }
    for (double q : {1e308, inf}) {
        const RocheState s = run(q);
        EXPECT_EQ(s.OmegaCrit, run(MaxMassRatio).OmegaCrit) << "q = " << q;
    }
}

TEST(RocheGuards, EveryMassRatioGivesAFiniteLagrangePointBetweenTheStars) {
    for (double q = MinMassRatio; q <= MaxMassRatio; q *= 1.37) {
        RocheState s = run(q);
        EXPECT_GT(s.LagrangeX, 0.0) << "q = " << q;
        EXPECT_LT(s.LagrangeX, 1.0) << "q = " << q;
        EXPECT_TRUE(std::isfinite(s.OmegaCrit)) << "q = " << q;
        const double r = StarRadius(s, s.OmegaCrit, q, 0, HalfPi, 0);
        EXPECT_TRUE(std::isfinite(r) && r > 0) << "q = " << q << " r = " << r;
    }
}

TEST(RocheGuards, StarRadiusNeverReturnsNaNForAnyPotential) {
    for (double omega : {-10.0, 0.0, 0.5, 1.0, 2.0, 3.75, 100.0, 1e300}) {
        for (double phi : {-HalfPi, -0.5, 0.0, 0.7, HalfPi}) {
            for (double theta : {0.0, HalfPi, Pi, 4.0}) {
                RocheState s;
                const double r = StarRadius(s, omega, 1.0, 0, phi, theta);
                EXPECT_FALSE(std::isnan(r)) << "Omega " << omega << " Phi " << phi << " Theta " << theta;
                EXPECT_LE(s.IterCount, 20);
            }
        }
    }
}

} // namespace
} // namespace corvane::roche
