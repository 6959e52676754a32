// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "fitting/Observations.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>
#include <string>

namespace corvane::fitting {
namespace {

using ::testing::HasSubstr;

struct FormCase {
    const char* name;
    const char* text;
    Abscissa abscissa;
    Quantity quantity;
    bool errors;
    const char* xColumn;
};

class TextForms : public ::testing::TestWithParam<FormCase> {};

// Three points (x, value[, error]) = (t0, 12.10, 0.002), (t0 + 0.1, 12.25, 0.003), (t0 + 0.2, 12.40, 0.002)
// in every form the reader takes.
TEST_P(TextForms, ReadTheSameThreePoints) {
    const FormCase c = GetParam();
    const Observations o = parseObservations(c.text);
    ASSERT_TRUE(o.ok()) << c.name << ": " << o.problem;
    ASSERT_EQ(o.size(), 3u) << c.name;
    EXPECT_EQ(o.abscissa, c.abscissa) << c.name;
    EXPECT_EQ(o.quantity, c.quantity) << c.name;
    EXPECT_EQ(o.hasErrors(), c.errors) << c.name;
    EXPECT_EQ(o.xColumn, c.xColumn) << c.name;
    EXPECT_NEAR(o.x[1] - o.x[0], 0.1, 1e-8) << c.name; // times of 2459000.1 keep 1e-10 d
    EXPECT_DOUBLE_EQ(o.value[2], c.quantity == Quantity::Flux ? 0.92 : 12.40) << c.name;
    if (c.errors) {
        EXPECT_DOUBLE_EQ(o.error[1], 0.003) << c.name;
    }
    EXPECT_EQ(o.skipped, 0) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Forms, TextForms,
    ::testing::Values(
        FormCase{"comma, no header", "0.1,12.10\n0.2,12.25\n0.3,12.40\n", Abscissa::Phase, Quantity::Magnitude, false,
                 "column 1"},
        FormCase{"whitespace with errors", "0.1  12.10 0.002\n0.2\t12.25\t0.003\n 0.3 12.40 0.002\n", Abscissa::Phase,
                 Quantity::Magnitude, true, "column 1"},
        FormCase{"comments of every kind", "# made by hand\n% matlab\n; ini\n! fortran\n\n2459000.1,12.10\n"
                                           "2459000.2,12.25\n2459000.3,12.40\n",
                 Abscissa::Time, Quantity::Magnitude, false, "column 1"},
        FormCase{"header in another order", "err mag BJD\n0.002 12.10 2459000.1\n0.003 12.25 2459000.2\n"
                                            "0.002 12.40 2459000.3\n",
                 Abscissa::Time, Quantity::Magnitude, true, "BJD"},
        FormCase{"header with units, CRLF", "HJD (days),Magnitude [V],Sigma\r\n2459000.1,12.10,0.002\r\n"
                                            "2459000.2,12.25,0.003\r\n2459000.3,12.40,0.002\r\n",
                 Abscissa::Time, Quantity::Magnitude, true, "HJD (days)"},
        FormCase{"flux with its _err column", "btjd\tpdcsap_flux\tpdcsap_flux_err\tquality\n1900.1\t1.02\t0.001\t0\n"
                                              "1900.2\t0.97\t0.003\t0\n1900.3\t0.92\t0.001\t0\n",
                 Abscissa::Time, Quantity::Flux, true, "btjd"},
        FormCase{"a Corvane light-curve file", "Phase, Red, Green, Blue, Luminance\n-0.25, 1.02, , , \n"
                                               "-0.15, 0.97, , , \n-0.05, 0.92, , , \n",
                 Abscissa::Phase, Quantity::Flux, false, "Phase"}),
    [](const auto& info) {
        std::string n = info.param.name;
        for (char& ch : n) {
            if (!std::isalnum(static_cast<unsigned char>(ch))) {
                ch = '_';
            }
        }
        return n;
    });

TEST(TextForms, TheFluxErrorColumnIsFoundByItsName) {
    const Observations o = parseObservations("time flux flux_err\n1 1.0 0.01\n2 0.9 0.02\n");
    ASSERT_TRUE(o.ok());
    ASSERT_TRUE(o.hasErrors());
    EXPECT_DOUBLE_EQ(o.error[1], 0.02);
}

TEST(TextForms, BadLinesAreSkippedAndCountedAndBadFilesRefused) {
    const Observations o = parseObservations("0.1,12\n0.2,oops\n0.3,nan\n0.4\n0.5,12.5\n");
    ASSERT_TRUE(o.ok());
    EXPECT_EQ(o.size(), 2u);
    EXPECT_EQ(o.skipped, 3);
    EXPECT_EQ(o.firstSkipped, 2);
    EXPECT_THAT(describe(o), HasSubstr("Skipped 3 lines"));
    const Observations header = parseObservations("colour,name\n1,2\n");
    EXPECT_FALSE(header.ok());
    EXPECT_THAT(header.problem, HasSubstr("names no time or phase column"));
    const Observations noValue = parseObservations("time,comment\n1,2\n");
    EXPECT_THAT(noValue.problem, HasSubstr("names no magnitude or flux column"));
    EXPECT_FALSE(parseObservations("# nothing\n\n").ok());
    const Observations negative = parseObservations("t mag err\n1 12 0.01\n2 12 -0.01\n");
    EXPECT_EQ(negative.size(), 1u) << "a negative error is not an error bar";
}

struct VelocityCase {
    const char* name;
    const char* text;
    bool errors;
    const char* valueColumn;
};

class VelocityForms : public ::testing::TestWithParam<VelocityCase> {};

TEST_P(VelocityForms, ReadAsVelocitiesNeverAsMagnitudes) {
    const VelocityCase c = GetParam();
    const Observations v = parseObservations(c.text, true);
    ASSERT_TRUE(v.ok()) << c.name << ": " << v.problem;
    ASSERT_EQ(v.size(), 2u) << c.name;
    EXPECT_EQ(v.quantity, Quantity::Velocity) << c.name;
    EXPECT_EQ(v.abscissa, Abscissa::Time) << c.name;
    EXPECT_EQ(v.valueColumn, c.valueColumn) << c.name;
    EXPECT_DOUBLE_EQ(v.value[1], -48.25) << c.name;
    EXPECT_EQ(v.hasErrors(), c.errors) << c.name;
    // Read as a light curve, a file that names its velocities is refused, and says why.
    const Observations asLight = parseObservations(c.text);
    if (std::string(c.valueColumn) != "column 2") {
        EXPECT_FALSE(asLight.ok()) << c.name;
        EXPECT_THAT(asLight.problem, HasSubstr("never as magnitudes")) << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, VelocityForms,
    ::testing::Values(VelocityCase{"no_header", "2459000.1 31.5\n2459000.6 -48.25\n", false, "column 2"},
                      VelocityCase{"rv1_e_rv", "BJD rv1 e_rv\n2459000.1 31.5 0.8\n2459000.6 -48.25 0.9\n", true, "rv1"},
                      VelocityCase{"vrad_units_comma", "HJD,Vrad (km/s),err\n2459000.1,31.5,1\n2459000.6,-48.25,1\n", true,
                                   "Vrad (km/s)"},
                      VelocityCase{"rv2_rv_err", "time rv2 rv2_err\n2459000.1 31.5 0.8\n2459000.6 -48.25 0.9\n", true,
                                   "rv2"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(VelocityForms, AHeaderWithoutAVelocityIsRefused) {
    const Observations v = parseObservations("BJD mag\n1 12\n", true);
    EXPECT_FALSE(v.ok());
    EXPECT_THAT(v.problem, HasSubstr("names no velocity column"));
}

TEST(Fold, AKnownEpochPutsTheMinimumAtPhaseZero) {
    // A minimum every 0.7 d from BJD 2459000.3: times at the minima, and a quarter cycle after.
    const double period = 0.7, epoch = 2459000.3;
    std::ostringstream text;
    text << "bjd mag\n";
    for (int n = -3; n <= 40; ++n) {
        text.precision(15);
        text << epoch + n * period << " 13.0\n" << epoch + (n + 0.25) * period << " 12.5\n";
    }
    Observations o = parseObservations(text.str());
    ASSERT_EQ(o.abscissa, Abscissa::Time);
    EXPECT_FALSE(fold(o, 0, epoch)) << "no period";
    EXPECT_FALSE(fold(o, -1, epoch));
    EXPECT_EQ(o.abscissa, Abscissa::Time) << "unchanged by a refused fold";
    ASSERT_TRUE(fold(o, period, epoch));
    for (std::size_t i = 0; i < o.size(); ++i) {
        const double expected = o.value[i] == 13.0 ? 0.0 : 0.25;
        const double d = std::remainder(o.x[i] - expected, 1.0);
        EXPECT_NEAR(d, 0.0, 1e-9) << "point " << i;
        EXPECT_GE(o.x[i], 0.0);
        EXPECT_LT(o.x[i], 1.0);
    }
    EXPECT_THAT(describe(o, 0, period, epoch), HasSubstr("Folded with period 0.7 d"));
}

TEST(Units, FluxAndMagnitudeCarryTheSameInformation) {
    Observations o = parseObservations("phase flux err\n0.1 1.0 0.01\n0.2 0.5 0.005\n0.3 -1 0.1\n0.4 0 0.1\n");
    toMagnitudes(o);
    ASSERT_EQ(o.size(), 2u) << "fluxes that are not positive are dropped";
    EXPECT_EQ(o.skipped, 2);
    EXPECT_NEAR(o.value[0], 0.0, 1e-15);
    EXPECT_NEAR(o.value[1] - o.value[0], 2.5 * std::log10(2.0), 1e-12);
    // sigma_m = 1.0857 sigma_f / f: a 1% flux error is 0.010857 mag at any flux.
    EXPECT_NEAR(o.error[0], 0.0108574, 1e-6);
    EXPECT_NEAR(o.error[1], 0.0108574, 1e-6);
}

TEST(Binning, TwentyThousandPointsBecomeAtMostFiveThousandWithTheRightErrors) {
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 0.01);
    std::ostringstream text;
    text << "phase mag err\n";
    text.precision(12);
    for (int i = 0; i < 20000; ++i) {
        const double phase = (i + 0.5) / 20000.0;
        text << phase << " " << 12 + 0.3 * std::cos(2 * 3.141592653589793 * phase) + noise(random) << " 0.01\n";
    }
    Observations o = parseObservations(text.str());
    ASSERT_EQ(o.size(), 20000u);
    const std::size_t before = binInPhase(o, 5000);
    EXPECT_EQ(before, 20000u);
    ASSERT_EQ(o.size(), 5000u);
    ASSERT_TRUE(o.hasErrors());
    for (std::size_t b = 0; b < o.size(); ++b) {
        EXPECT_NEAR(o.x[b], (b + 0.5) / 5000.0, 1e-9) << b;
        EXPECT_NEAR(o.error[b], 0.01 / 2, 1e-12) << "four points a bin: the error of their mean";
        EXPECT_NEAR(o.value[b], 12 + 0.3 * std::cos(2 * 3.141592653589793 * o.x[b]), 0.03) << b;
    }
    EXPECT_THAT(describe(o, before), HasSubstr("Read 20000 points"));
    EXPECT_THAT(describe(o, before), HasSubstr("Binned in phase into 5000 points"));
    // Without errors in the file binning invents none: the scatter of a few points in a bin is the
    // curve's slope as much as its noise (a noise-free file once gave a chi-square of 7e6).
    Observations plain = parseObservations("0.10 1\n0.11 3\n0.60 2\n");
    binInPhase(plain, 2);
    ASSERT_EQ(plain.size(), 2u);
    EXPECT_FALSE(plain.hasErrors());
    EXPECT_NEAR(plain.value[0], 2.0, 1e-12);
    EXPECT_THAT(describe(plain, 3), HasSubstr("no errors, as in the file"));
    // Fewer points than the limit: nothing changes.
    Observations few = parseObservations("0.1 1\n0.2 2\n");
    EXPECT_EQ(binInPhase(few, 5000), 2u);
    EXPECT_EQ(few.size(), 2u);
}

} // namespace
} // namespace corvane::fitting
