// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
// Band intensities against an independent integration, published ratios and the Planck function's
// limits; the laws' disc fluxes against quadrature and their limits of validity.
#include "light/LimbDarkening.h"
#include "light/Passband.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <cstdio>
#include <random>

namespace corvane::light {
namespace {

// The test's own Planck function and integral: the midpoint rule on a 0.002 nm grid with the
// response interpolated linearly, sharing no code with the program's Gauss-Legendre integration.
double planckHere(double nm, double T) {
    const double h = 6.62607015e-34, c = 299792458.0, k = 1.380649e-23, l = nm * 1e-9;
    return 2 * h * c * c / (l * l * l * l * l) / (std::exp(h * c / (l * k * T)) - 1);
}

double fineIntegral(const PassbandTable& p, double T, double (*B)(double, double) = planckHere) {
    const bool photon = p.response == Response::Photon;
    double s = 0, w = 0;
    for (std::size_t i = 0; i + 1 < p.nm.size(); ++i) {
        const int n = std::max(1, static_cast<int>((p.nm[i + 1] - p.nm[i]) / 0.002));
        const double d = (p.nm[i + 1] - p.nm[i]) / n;
        for (int j = 0; j < n; ++j) {
            const double l = p.nm[i] + (j + 0.5) * d;
            const double r = p.value[i] + (p.value[i + 1] - p.value[i]) * (l - p.nm[i]) / (p.nm[i + 1] - p.nm[i]);
            const double weight = r * d * (photon ? l : 1.0);
            s += weight * B(l, T);
            w += weight;
        }
    }
    return s / w;
}

const PassbandTable& band(const char* name) {
    const PassbandTable* p = findPassband(name);
    EXPECT_NE(p, nullptr) << name;
    return *p;
}

TEST(Passbands, EveryBandTheIssueNamesIsThereAndEveryTableIsSound) {
    for (const char* name : {"TESS", "Kepler", "Johnson U", "Johnson B", "Johnson V", "Cousins R", "Cousins I", "Gaia G",
                             "Gaia BP", "Gaia RP", "SDSS u", "SDSS g", "SDSS r", "SDSS i", "SDSS z", "2MASS J",
                             "2MASS H", "2MASS Ks"}) {
        EXPECT_NE(findPassband(name), nullptr) << name;
    }
    EXPECT_EQ(passbands().size(), 42u);
    for (const PassbandTable& p : passbands()) {
        ASSERT_GE(p.nm.size(), 20u) << p.name;
        ASSERT_EQ(p.nm.size(), p.value.size()) << p.name;
        for (std::size_t i = 0; i < p.nm.size(); ++i) {
            EXPECT_GE(p.value[i], 0) << p.name << " row " << i;
            if (i > 0) {
                EXPECT_GT(p.nm[i], p.nm[i - 1]) << p.name << " row " << i;
            }
        }
    }
    EXPECT_EQ(band("2MASS Ks").response, Response::Energy);
    EXPECT_EQ(band("TESS").response, Response::Photon);
    EXPECT_EQ(band("Johnson V (Bessell 1990)").response, Response::Energy);
}

struct RatioCase {
    const char* band;
    double t1, t2, ratio, tolerance;
};

class PublishedRatios : public ::testing::TestWithParam<RatioCase> {};

// Surface-brightness ratios the passband collection computed by its own script (Planck with CODATA
// constants; on a 0.01 nm grid, or, where marked in the collection, by the trapezoid on the table's
// own rows, which leaves a few 1e-6).
TEST_P(PublishedRatios, TheBandsSurfaceBrightnessRatioIsTheCollections) {
    const RatioCase& c = GetParam();
    const PassbandTable& p = band(c.band);
    EXPECT_NEAR(bandIntegral(p, c.t1) / bandIntegral(p, c.t2), c.ratio, c.tolerance) << c.band << " " << c.t1 << "/" << c.t2;
}

INSTANTIATE_TEST_SUITE_P(
    Collection, PublishedRatios,
    ::testing::Values(RatioCase{"TESS", 6561, 6839, 0.881653, 1e-6}, RatioCase{"TESS", 3120, 3130, 0.981809, 1e-6},
                      RatioCase{"Johnson V", 6561, 6839, 0.846895, 1e-6},
                      RatioCase{"Johnson V (Bessell 1990)", 6561, 6839, 0.846676, 1e-6},
                      RatioCase{"Kepler", 6561, 6839, 0.860083, 2e-5}, RatioCase{"Gaia G", 6561, 6839, 0.857476, 2e-5}),
    [](const auto& info) { return "case" + std::to_string(info.index); }); // band names hold blanks

TEST(Passbands, TheIntegralAgreesWithAFineIndependentQuadrature) {
    for (const char* name : {"TESS", "Johnson U", "2MASS Ks", "SDSS u", "Gaia BP"}) {
        for (const double T : {2500.0, 5772.0, 30000.0}) {
            const double mine = bandIntegral(band(name), T), theirs = fineIntegral(band(name), T);
            EXPECT_NEAR(mine / theirs, 1, 1e-7) << name << " at " << T << " K";
        }
    }
}

TEST(Passbands, TheWienAndRayleighJeansLimits) {
    // Cold in the ultraviolet (h c / lambda k T near 40): exp(-x) is the whole of the Planck function.
    auto wien = +[](double nm, double T) {
        const double h = 6.62607015e-34, c = 299792458.0, k = 1.380649e-23, l = nm * 1e-9;
        return 2 * h * c * c / (l * l * l * l * l) * std::exp(-h * c / (l * k * T));
    };
    EXPECT_NEAR(bandIntegral(band("Johnson U"), 1000) / fineIntegral(band("Johnson U"), 1000, wien), 1, 1e-7);
    // Hot in the infrared (x near 7e-6): B = 2 c k T / lambda^4 (1 - x / 2), so S doubles with T.
    const PassbandTable& ks = band("2MASS Ks");
    EXPECT_NEAR(bandIntegral(ks, 2e9) / bandIntegral(ks, 1e9), 2, 1e-5);
    EXPECT_EQ(bandIntegral(ks, 0), 0);
    EXPECT_EQ(bandIntegral(ks, -5), 0);
}

TEST(Passbands, BolometricIsThePlanckFunctionOverAllWavelengths) {
    for (const double T : {3000.0, 5772.0, 40000.0}) {
        // ln-spaced midpoint rule from 1 nm to 1 m.
        double sum = 0;
        const int n = 200000;
        const double a = std::log(1.0), b = std::log(1e9);
        for (int i = 0; i < n; ++i) {
            const double l = std::exp(a + (i + 0.5) * (b - a) / n);
            sum += planckHere(l, T) * l * 1e-9 * (b - a) / n;
        }
        EXPECT_NEAR(bolometricIntensity(T) / sum, 1, 1e-6) << T;
    }
}

TEST(Passbands, TheTableIsTheIntegralToABillionth) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> lnT(std::log(BandIntensity::MinT), std::log(BandIntensity::MaxT));
    for (const std::string n : {"TESS", "Johnson U", "2MASS Ks", "Kepler"}) {
        const BandIntensity* table = BandIntensity::of(n);
        ASSERT_NE(table, nullptr) << n;
        double worst = 0;
        for (int k = 0; k < 400; ++k) {
            const double T = std::exp(lnT(rng));
            worst = std::max(worst, std::fabs(table->normal(T) / bandIntegral(table->band(), T) - 1));
        }
        EXPECT_LT(worst, 1e-9) << n;
        std::printf("%s: table within %.2g of the integral\n", n.c_str(), worst);
        // The table's ends and beyond: the integral itself.
        for (const double T : {BandIntensity::MinT, BandIntensity::MaxT, 500.0, 2e5}) {
            EXPECT_NEAR(table->normal(T) / bandIntegral(table->band(), T), 1, 2e-9) << n << " at " << T;
        }
    }
    EXPECT_EQ(BandIntensity::of("No such band"), nullptr);
    EXPECT_EQ(BandIntensity::of("TESS"), BandIntensity::of("TESS")) << "built once and shared";
}

struct LawCase {
    LimbLaw law;
    double a, b;
};

class Laws : public ::testing::TestWithParam<LawCase> {};

// The closed-form disc flux against Gauss-Legendre in s = sqrt(mu) (smooth for every law:
// mu ln mu = 2 s^2 ln s is, to the rule, a well-behaved function), 2 mu d mu = 4 s^3 d s.
TEST_P(Laws, TheDiscFluxIsTheClosedForm) {
    const LawCase c = GetParam();
    double sum = 0;
    const int n = 200000;
    for (int i = 0; i < n; ++i) {
        const double s = (i + 0.5) / n, mu = s * s;
        sum += 4 * s * s * s * limbProfile(c.law, c.a, c.b, mu) / n;
    }
    EXPECT_NEAR(limbDiscFlux(c.law, c.a, c.b), sum, 1e-9)
        << kLimbLawNames[static_cast<std::size_t>(c.law)] << " a " << c.a << " b " << c.b;
    EXPECT_EQ(limbProfile(c.law, c.a, c.b, 1), 1) << "the centre of the disc is the unit";
    EXPECT_TRUE(limbProblem(c.law, c.a, c.b).empty()) << limbProblem(c.law, c.a, c.b);
}

INSTANTIATE_TEST_SUITE_P(
    EveryLaw, Laws,
    ::testing::Values(LawCase{LimbLaw::Linear, 0.6, 0}, LawCase{LimbLaw::Quadratic, 0.4, 0.25},
                      LawCase{LimbLaw::SquareRoot, 0.1, 0.7}, LawCase{LimbLaw::Logarithmic, 0.7, 0.2},
                      LawCase{LimbLaw::Power2, 0.65, 0.6}, LawCase{LimbLaw::Quadratic, 0, 0}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(Laws, TheLinearLawIsTheShadingsExpressionToTheBit) {
    for (const double a : {0.0, 0.3, 0.5, 1.0}) {
        for (const double mu : {0.0, 0.1, 0.37, 0.999, 1.0}) {
            EXPECT_EQ(limbProfile(LimbLaw::Linear, a, 99, mu), 1 - a * std::fabs(1 - mu));
        }
    }
}

TEST(Laws, CoefficientsThatDarkenBelowZeroAreRefusedAtTheirEdge) {
    constexpr double e = 1e-9;
    EXPECT_TRUE(limbProblem(LimbLaw::Linear, 1, 0).empty());
    EXPECT_FALSE(limbProblem(LimbLaw::Linear, 1 + e, 0).empty());
    EXPECT_TRUE(limbProblem(LimbLaw::Quadratic, 0.6, 0.4).empty()); // 0 at the limb
    EXPECT_FALSE(limbProblem(LimbLaw::Quadratic, 0.6, 0.4 + e).empty());
    // Zero at both ends, negative only inside: found at the law's own minimum.
    EXPECT_FALSE(limbProblem(LimbLaw::Quadratic, 2.5, -1.5).empty());
    EXPECT_TRUE(limbProblem(LimbLaw::Quadratic, 2.4, -1.5).empty());
    EXPECT_TRUE(limbProblem(LimbLaw::SquareRoot, 0.5, 0.5).empty());
    EXPECT_FALSE(limbProblem(LimbLaw::SquareRoot, 0.5, 0.5 + e).empty());
    EXPECT_TRUE(limbProblem(LimbLaw::Logarithmic, 1, 0).empty());
    EXPECT_FALSE(limbProblem(LimbLaw::Logarithmic, 1 + e, 0).empty());
    EXPECT_FALSE(limbProblem(LimbLaw::Power2, 0.5, 0).empty()) << "the exponent must be positive";
    EXPECT_TRUE(limbProblem(LimbLaw::Power2, 1, 0.5).empty());
    EXPECT_FALSE(limbProblem(LimbLaw::Power2, 1 + e, 0.5).empty());
    EXPECT_FALSE(limbProblem(LimbLaw::Linear, std::nan(""), 0).empty());
    EXPECT_EQ(limbLawNamed("Square root"), LimbLaw::SquareRoot);
    EXPECT_FALSE(limbLawNamed("square root"));
}

} // namespace
} // namespace corvane::light
