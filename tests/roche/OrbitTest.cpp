// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "roche/Orbit.h"
#include "roche/Velocity.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace corvane::roche {
namespace {

constexpr double Pi = std::numbers::pi;

double meanFromTrue(double nu, double e) {
    const double E = 2 * std::atan2(std::sqrt(1 - e) * std::sin(nu / 2), std::sqrt(1 + e) * std::cos(nu / 2));
    return E - e * std::sin(E);
}

double wrap01(double x) { return x - std::floor(x); }

TEST(KeplerEquation, ResidualIsBelowTheToleranceOverTheWholeRangeOfEccentricity) {
    for (const double e : {0.0, 1e-6, 0.01, 0.1, 0.3, 0.5, 0.7, 0.8, 0.9, 0.95, 0.999}) {
        for (int k = -400; k <= 400; ++k) {
            const double M = k * 0.0491; // several turns, both signs, near 0 and pi where it is stiffest
            const double E = eccentricAnomaly(M, e);
            ASSERT_LE(std::abs(E - e * std::sin(E) - M), 1e-12) << "e " << e << " M " << M;
            // The same turn as M: E - M is never more than e.
            ASSERT_LE(std::abs(E - M), e + 1e-12) << "e " << e << " M " << M;
        }
    }
}

TEST(KeplerEquation, AgreesWithItsSeriesForSmallEccentricities) {
    // E = M + e sin M + e^2/2 sin 2M + e^3/8 (3 sin 3M - sin M) + O(e^4).
    for (const double e : {1e-3, 1e-2, 3e-2}) {
        for (double M = 0; M < 2 * Pi; M += 0.1) {
            const double series = M + e * std::sin(M) + e * e / 2 * std::sin(2 * M) +
                                  e * e * e / 8 * (3 * std::sin(3 * M) - std::sin(M));
            EXPECT_NEAR(eccentricAnomaly(M, e), series, 2 * std::pow(e, 4)) << "e " << e << " M " << M;
        }
    }
}

TEST(KeplerEquation, RefusesWhatIsNoEllipse) {
    EXPECT_TRUE(std::isnan(eccentricAnomaly(1.0, 1.0)));
    EXPECT_TRUE(std::isnan(eccentricAnomaly(1.0, -0.1)));
    EXPECT_TRUE(std::isnan(eccentricAnomaly(NAN, 0.3)));
}

TEST(Orbit, ACircularOneTurnsAsTheRotationAngle) {
    const Orbit o(0, Pi / 2, 80 * Pi / 180);
    for (double phase = -1; phase < 2; phase += 0.0625) {
        const OrbitPosition p = o.at(phase);
        EXPECT_DOUBLE_EQ(p.theta, 2 * Pi * phase + Pi / 2) << phase;
        EXPECT_EQ(p.separation, 1);
    }
    EXPECT_DOUBLE_EQ(o.secondaryPhase(), 0.5);
}

struct Eccentric {
    double e, omegaDeg;
};

class EdgeOnOrbit : public testing::TestWithParam<Eccentric> {};

// Seen edge on, the projected separation vanishes at conjunction, theta = pi/2 and 3 pi/2 exactly,
// so the eclipse times are closed forms of the anomalies.
TEST_P(EdgeOnOrbit, EclipsesFallAtConjunctionsAndKeplersLawsHold) {
    const auto [e, omegaDeg] = GetParam();
    const double w = omegaDeg * Pi / 180;
    const Orbit o(e, w, Pi / 2);
    const double m1 = meanFromTrue(Pi / 2 - w, e);
    const double m2 = meanFromTrue(3 * Pi / 2 - w, e);
    EXPECT_NEAR(o.secondaryPhase(), wrap01((m2 - m1) / (2 * Pi)), 1e-9) << "e " << e << " omega " << omegaDeg;
    EXPECT_NEAR(o.periastronPhase(), wrap01(-m1 / (2 * Pi)), 1e-9) << "e " << e << " omega " << omegaDeg;
    const OrbitPosition primary = o.at(0);
    EXPECT_NEAR(std::remainder(primary.theta - Pi / 2, 2 * Pi), 0, 1e-9) << "e " << e << " omega " << omegaDeg;
    // The separation is a (1 - e^2) / (1 + e cos nu); the areal speed is constant.
    double area = 0;
    const int n = 20000;
    for (int k = 0; k < n; ++k) {
        const OrbitPosition a = o.at(static_cast<double>(k) / n);
        const OrbitPosition b = o.at(static_cast<double>(k + 1) / n);
        EXPECT_NEAR(a.separation, (1 - e * e) / (1 + e * std::cos(a.trueAnomaly)), 1e-12);
        const double dTheta = b.theta - a.theta;
        ASSERT_GT(dTheta, 0) << "the orbit turns one way";
        const double mid = (a.separation + b.separation) / 2;
        area += 0.5 * mid * mid * dTheta;
    }
    EXPECT_NEAR(area, Pi * std::sqrt(1 - e * e), 1e-6) << "e " << e << " omega " << omegaDeg;
    // The first-order timing estimates.
    const EccentricityEstimate est = estimateEccentricity(o.secondaryPhase(), 1, 1, Pi / 2);
    EXPECT_NEAR(est.eCosOmega, e * std::cos(w), 0.02 + e * e) << "e " << e << " omega " << omegaDeg;
}

INSTANTIATE_TEST_SUITE_P(Regimes, EdgeOnOrbit,
                         testing::Values(Eccentric{0.06, 0}, Eccentric{0.1, 45}, Eccentric{0.2, 100}, Eccentric{0.4, 250},
                                         Eccentric{0.4, 330}, Eccentric{0.9, 10}));

TEST(Orbit, AnInclinedOrbitsPrimaryIsTheLeastProjectedSeparation) {
    const double e = 0.3, w = 40 * Pi / 180, iota = 75 * Pi / 180;
    const Orbit o(e, w, iota);
    auto sky = [&](double phase) {
        const OrbitPosition p = o.at(phase);
        return p.separation * std::sqrt(1 - std::pow(std::sin(iota) * std::sin(p.theta), 2));
    };
    const double at0 = sky(0);
    for (const double d : {1e-4, -1e-4, 1e-3, -1e-3}) {
        EXPECT_GT(sky(d), at0) << d;
    }
    // Not at conjunction: with e and omega the minimum moves off theta = pi/2.
    EXPECT_GT(std::abs(o.at(0).theta - Pi / 2), 1e-4);
    const double s2 = o.secondaryPhase();
    for (const double d : {1e-4, -1e-4}) {
        EXPECT_GT(sky(s2 + d), sky(s2)) << d;
    }
}

TEST(Orbit, ApsidalMotionTurnsOmegaCycleByCycle) {
    const Orbit o(0.2, 1.0, Pi / 2, 0.01);
    EXPECT_DOUBLE_EQ(o.omega(0.3), 1.0);
    EXPECT_DOUBLE_EQ(o.omega(10.3), 1.1);
    EXPECT_DOUBLE_EQ(o.omega(-0.5), 0.99);
    // Every cycle's phase 0 is still its primary eclipse.
    EXPECT_NEAR(std::remainder(o.at(10).theta - Pi / 2, 2 * Pi), 0, 1e-9);
}

TEST(EccentricityEstimate, WidthsGiveESinOmega) {
    // Durations go as the separation at each eclipse.
    const double e = 0.1, w = 1.2;
    const double d1 = (1 - e * e) / (1 + e * std::sin(w)), d2 = (1 - e * e) / (1 - e * std::sin(w));
    EXPECT_NEAR(estimateEccentricity(0.5, d1, d2, Pi / 2).eSinOmega, e * std::sin(w), 1e-12);
}

class Velocities : public testing::TestWithParam<Eccentric> {};

// The Keplerian formula against the derivative of each star's distance along the line of sight,
// z1 = a q / (1 + q) delta sin(theta) sin i (away from the viewer; star 2's is -1/q of it), taken by
// a fourth-order central difference in time.
TEST_P(Velocities, AreTheRateOfChangeOfEachStarsDistance) {
    const auto [e, omegaDeg] = GetParam();
    const double w = omegaDeg * Pi / 180, iota = 82 * Pi / 180, q = 0.6, a = 12.5, P = 3.7, gamma = -17.3;
    const Orbit o(e, w, iota);
    const OrbitSize size = orbitSize(a, P, q, e, iota);
    const double aKm = a * NominalSolarRadiusKm, seconds = P * 86400;
    auto z1 = [&](double phase) {
        const OrbitPosition p = o.at(phase);
        return aKm * q / (1 + q) * p.separation * std::sin(p.theta) * std::sin(iota);
    };
    const double h = 1e-4;
    for (double phase = -0.3; phase < 1.2; phase += 0.01) {
        const double dz = (-z1(phase + 2 * h) + 8 * z1(phase + h) - 8 * z1(phase - h) + z1(phase - 2 * h)) / (12 * h);
        const double v1 = gamma + dz / seconds;
        const double v2 = gamma - dz / seconds / q;
        const PairVelocity v = keplerVelocities(o, phase, size.K1, size.K2, gamma);
        ASSERT_NEAR(v.v1, v1, 1e-3) << "e " << e << " omega " << omegaDeg << " phase " << phase;
        ASSERT_NEAR(v.v2, v2, 1e-3) << "e " << e << " omega " << omegaDeg << " phase " << phase;
    }
    // At mid primary eclipse seen edge on the stars cross the line of sight: with e = 0 no velocity.
    if (e == 0) {
        const PairVelocity v = keplerVelocities(o, 0, size.K1, size.K2, gamma);
        EXPECT_NEAR(v.v1, gamma, 1e-9);
    }
}

INSTANTIATE_TEST_SUITE_P(Regimes, Velocities,
                         testing::Values(Eccentric{0, 90}, Eccentric{0.06, 0}, Eccentric{0.3, 120}, Eccentric{0.6, 250},
                                         Eccentric{0.9, 340}));

TEST(OrbitSize, KeplersThirdLawWithTheNominalSun) {
    // One astronomical unit (215.032 nominal solar radii) and a sidereal year: one solar mass, and
    // the Earth's 29.78 km/s about a Sun that does not move (q tiny).
    const OrbitSize s = orbitSize(149597870.7 / NominalSolarRadiusKm, 365.256363, 1e-3, 0, Pi / 2);
    EXPECT_NEAR(s.mass1 + s.mass2, 1.0, 2e-4);
    EXPECT_NEAR(s.K1 + s.K2, 29.78, 0.01);
    EXPECT_NEAR(s.K1 / s.K2, 1e-3, 1e-12) << "K1 / K2 = q";
    // The Sun's log g is 4.438.
    EXPECT_NEAR(surfaceGravity(1, 1), 4.438, 1e-3);
    EXPECT_EQ(orbitSize(0, 3, 1, 0, 1).K1, 0);
    EXPECT_TRUE(std::isnan(surfaceGravity(0, 1)));
}

} // namespace
} // namespace corvane::roche
