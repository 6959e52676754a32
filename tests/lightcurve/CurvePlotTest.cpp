// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "lightcurve/CurvePlot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace corvane::lightcurve {
namespace {

struct TickCase {
    double min, max;
    int most;
    double step; // expected spacing
    const char* first;
    const char* last;
};

class NiceTicks : public ::testing::TestWithParam<TickCase> {};

TEST_P(NiceTicks, AreRoundMultiplesInsideTheSpanAndFewEnough) {
    const TickCase& c = GetParam();
    const Ticks t = niceTicks(c.min, c.max, c.most);
    ASSERT_GE(t.at.size(), 2u) << c.min << ".." << c.max;
    EXPECT_LE(static_cast<int>(t.at.size()), c.most + 1) << c.min << ".." << c.max;
    EXPECT_NEAR(t.at[1] - t.at[0], c.step, c.step * 1e-9) << c.min << ".." << c.max;
    EXPECT_GE(t.at.front(), c.min - 1e-12);
    EXPECT_LE(t.at.back(), c.max + 1e-12);
    EXPECT_EQ(t.text.front(), c.first);
    EXPECT_EQ(t.text.back(), c.last);
}

INSTANTIATE_TEST_SUITE_P(
    Spans, NiceTicks,
    ::testing::Values(TickCase{0, 1, 5, 0.2, "0.0", "1.0"},             // relative light
                      TickCase{0.55, 1.02, 10, 0.05, "0.55", "1.00"},   // an eclipse in relative light
                      TickCase{0.55, 1.02, 8, 0.1, "0.6", "1.0"},       // the same, less room
                      TickCase{-0.03, 0.62, 6, 0.2, "0.0", "0.6"},      // magnitudes below the maximum
                      TickCase{-0.0071, 0.0071, 3, 0.005, "-0.005", "0.005"}, // a residual strip
                      TickCase{2000, 50000, 5, 10000, "10000", "50000"},
                      TickCase{12.31, 12.33, 4, 0.005, "12.310", "12.330"}),
    [](const auto& info) { return "span" + std::to_string(info.index); });

TEST(NiceTicks, NothingForAnEmptyOrBadSpan) {
    EXPECT_TRUE(niceTicks(1, 1, 5).at.empty());
    EXPECT_TRUE(niceTicks(2, 1, 5).at.empty());
    EXPECT_TRUE(niceTicks(0, std::numeric_limits<double>::infinity(), 5).at.empty());
    EXPECT_TRUE(niceTicks(0, std::numeric_limits<double>::quiet_NaN(), 5).at.empty());
}

TEST(PhaseTicks, FollowTheWidth) {
    // 720 pixels: 36 a tick, every 0.05, labels every 0.1 on the round phases.
    const Ticks wide = phaseTicks(720);
    ASSERT_EQ(wide.at.size(), 21u);
    EXPECT_DOUBLE_EQ(wide.at.front(), -0.25);
    EXPECT_EQ(wide.text[0], "");
    EXPECT_EQ(wide.text[1], "-0.2");
    EXPECT_EQ(wide.text[5], "0.0");
    // Just below: every 0.1, from -0.2.
    const Ticks narrow = phaseTicks(719);
    ASSERT_EQ(narrow.at.size(), 10u);
    EXPECT_NEAR(narrow.at.front(), -0.2, 1e-12);
    EXPECT_EQ(narrow.text.front(), "-0.2");
    EXPECT_EQ(narrow.text.back(), "0.7");
    // Very narrow: labels every 0.2 only.
    const Ticks tiny = phaseTicks(200);
    EXPECT_EQ(tiny.text[0], "-0.2");
    EXPECT_EQ(tiny.text[1], "");
    EXPECT_EQ(tiny.text[2], "0.0");
}

TEST(PlottedPhase, WrapsIntoTheShownSpan) {
    for (const auto& [in, out] : {std::pair{0.0, 0.0}, {0.8, -0.2}, {0.75, -0.25}, {-0.25, -0.25}, {1.3, 0.3}, {-0.6, 0.4}}) {
        EXPECT_NEAR(plottedPhase(in), out, 1e-12) << in;
    }
}

TEST(ObservedOnModel, TheZeroPointIsSolvedAndTheResidualsAreWhatIsLeft) {
    // Model magnitudes below maximum; observations 10 mag fainter with known offsets.
    const std::vector<double> model = {0.0, 0.1, 0.5, 0.1};
    const std::vector<double> offsets = {0.002, -0.002, 0.0, 0.0};
    std::vector<double> mag;
    for (std::size_t i = 0; i < model.size(); ++i) {
        mag.push_back(10 + model[i] + offsets[i]);
    }
    const ObservedOnModel m = observedOnModel(mag, {}, model, true);
    ASSERT_TRUE(m.matched);
    EXPECT_NEAR(m.zeroPoint, 10, 1e-12);
    for (std::size_t i = 0; i < model.size(); ++i) {
        EXPECT_NEAR(m.residual[i], offsets[i], 1e-12) << i;
        EXPECT_NEAR(m.y[i], model[i] + offsets[i], 1e-12) << i;
    }
    // Weighted: a point with a large error barely moves the zero point.
    const std::vector<double> errors = {0.001, 0.001, 1.0, 0.001};
    std::vector<double> shifted = mag;
    shifted[2] += 0.3;
    const ObservedOnModel w = observedOnModel(shifted, errors, model, true);
    EXPECT_NEAR(w.zeroPoint, 10, 1e-6);
    EXPECT_NEAR(w.residual[2], 0.3, 1e-6);
}

TEST(ObservedOnModel, InRelativeLightTheSameMatchIsAFluxRatio) {
    const std::vector<double> light = {1.0, 0.8, 0.5};
    std::vector<double> mag;
    for (double l : light) {
        mag.push_back(12 - 2.5 * std::log10(l));
    }
    const ObservedOnModel m = observedOnModel(mag, std::vector<double>{0.01, 0.01, 0.01}, light, false);
    ASSERT_TRUE(m.matched);
    for (std::size_t i = 0; i < light.size(); ++i) {
        EXPECT_NEAR(m.y[i], light[i], 1e-12);
        EXPECT_NEAR(m.residual[i], 0, 1e-12);
        EXPECT_NEAR(m.error[i], light[i] * 0.01 * std::log(10.0) / 2.5, 1e-12) << "the flux error of 0.01 mag";
    }
    const ObservedOnModel none = observedOnModel(mag, {}, std::vector<double>(3, std::nan("")), true);
    EXPECT_FALSE(none.matched);
    EXPECT_NEAR(none.zeroPoint, 12, 1e-12) << "the brightest point at the top";
    EXPECT_TRUE(std::isnan(none.residual[0]));
}

// A curve of one channel: light 1 out of eclipse, a dip to 0.5 around phase 0.
LightCurveState dippedCurve(bool magnitudes) {
    LightCurveState s;
    s.LCPoints = 360;
    s.ChannelFirst = s.ChannelLast = 3;
    for (int p = 0; p < s.LCPoints; ++p) {
        const double phase = static_cast<double>(p) / s.LCPoints - 0.25;
        const double light = 1000 * (1 - 0.5 * std::exp(-std::pow(phase / 0.03, 2)));
        s.at(3, p) = magnitudes ? std::log(light) / std::log(2.512) : light;
        s.Measured[static_cast<std::size_t>(p)] = 1u << 3;
    }
    return s;
}

TEST(CurvePlot, AxesSayWhatIsShownOnBothScales) {
    for (const bool mag : {false, true}) {
        CurvePlotInputs in;
        in.magnitudeScale = mag;
        in.comparedChannel = 3;
        const platform::PlotDescription d = curvePlot(dippedCurve(mag), in);
        ASSERT_EQ(d.panels.size(), 1u);
        EXPECT_EQ(d.x.label, "Phase");
        EXPECT_EQ(d.x.min, -0.25);
        EXPECT_EQ(d.x.max, 0.75);
        EXPECT_EQ(d.panels[0].y.label, mag ? "Magnitude" : "Relative light");
        EXPECT_EQ(d.panels[0].y.inverted, mag) << "magnitudes grow downwards";
        ASSERT_EQ(d.panels[0].series.size(), 1u);
        const auto& series = d.panels[0].series[0];
        EXPECT_EQ(series.name, "Red");
        ASSERT_EQ(series.y.size(), 360u);
        const double deepest = mag ? *std::max_element(series.y.begin(), series.y.end())
                                   : *std::min_element(series.y.begin(), series.y.end());
        EXPECT_NEAR(deepest, mag ? 2.5 * std::log10(2.0) : 0.5, 1e-3) << "half the light is 0.753 mag";
        EXPECT_LE(d.panels[0].y.min, mag ? 0 : 0.5);
        EXPECT_GE(d.panels[0].y.max, mag ? 0.75 : 1);
    }
}

TEST(CurvePlot, ACurveInABandIsOneSeriesNamedByTheBand) {
    // Every channel carries the band's light: drawn once, in the compared channel, named by the band.
    LightCurveState s = dippedCurve(false);
    s.ChannelFirst = 1;
    for (int p = 0; p < s.LCPoints; ++p) {
        s.at(1, p) = s.at(2, p) = s.at(3, p);
        s.Measured[static_cast<std::size_t>(p)] = (1u << 1) | (1u << 2) | (1u << 3);
    }
    CurvePlotInputs in;
    in.comparedChannel = 0; // luminance: not among RGB, so the first of them
    EXPECT_EQ(curvePlot(s, in).panels[0].series.size(), 3u) << "screen colours: a series a channel";
    in.band = "TESS";
    const platform::PlotDescription d = curvePlot(s, in);
    ASSERT_EQ(d.panels[0].series.size(), 1u);
    EXPECT_EQ(d.panels[0].series[0].name, "TESS");
    EXPECT_EQ(d.panels[0].series[0].y.size(), 360u);
}

TEST(CurvePlot, ObservationsLieOnTheModelsAxisWithTheirResiduals) {
    // Observations of the same dip, 0.41 mag deep in a 0.75 mag model would be a misfit: here they
    // are the model itself, 11 mag fainter, read between the curve's points.
    const LightCurveState s = dippedCurve(true);
    CurvePlotInputs in;
    in.magnitudeScale = true;
    in.comparedChannel = 3;
    for (int k = 0; k < 50; ++k) {
        const double phase = k / 50.0 + 0.0037;
        const double light = 1 - 0.5 * std::exp(-std::pow(plottedPhase(phase) / 0.03, 2));
        in.obsPhase.push_back(phase);
        in.obsMag.push_back(11 - 2.5 * std::log10(light));
        in.obsError.push_back(0.002);
    }
    const platform::PlotDescription d = curvePlot(s, in);
    ASSERT_EQ(d.panels.size(), 2u);
    EXPECT_EQ(d.panels[1].y.label, "O - C (mag)");
    const auto& obs = d.panels[0].series.back();
    EXPECT_EQ(obs.name, "Observed - 11 mag");
    ASSERT_EQ(obs.error.size(), 50u);
    const auto& residual = d.panels[1].series[0].y;
    for (std::size_t i = 0; i < residual.size(); ++i) {
        EXPECT_NEAR(residual[i], 0, 2e-4) << "point " << i << " at phase " << in.obsPhase[i];
    }
    // With the model computed at the observed phases, that is used instead and is exact.
    in.modelLightAtObs.clear();
    for (double m : in.obsMag) {
        in.modelLightAtObs.push_back(1000 * std::pow(10.0, -0.4 * (m - 11)));
    }
    const platform::PlotDescription exact = curvePlot(s, in);
    for (double r : exact.panels[1].series[0].y) {
        EXPECT_NEAR(r, 0, 1e-9);
    }
}

} // namespace
} // namespace corvane::lightcurve
