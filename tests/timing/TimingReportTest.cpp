// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
// The timing report: its numbers as text, the sequence from series to ephemeris, and its plots.
#include "timing/Report.h"
#include "timing/TimingPlots.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace corvane::timing {
namespace {

struct TextCase {
    std::string (*format)(double);
    double value;
    const char* text;
};

TEST(TimingText, NumbersCarryTheirDigitsAndNoMore) {
    const TextCase cases[] = {
        // Times to a microday whatever their size (a JD of 2.4 million keeps its seconds).
        {timeText, 2459006.2462251, "2459006.246225"},
        {timeText, 1739.92927, "1739.92927"},
        {timeText, -0.0000004, "0"},
        // Periods to 1e-9 of themselves.
        {periodText, 2.47312344444, "2.473123444"},
        {periodText, 0.3712345678912, "0.3712345679"},
        {periodText, 1234.56789012345, "1234.56789"},
        // Errors to three figures.
        {errorText, 7.51875714693681e-06, "7.52E-06"},
        {errorText, 0.0123456, "0.0123"},
        {errorText, 0, "0"},
    };
    for (const TextCase& c : cases) {
        EXPECT_EQ(c.format(c.value), c.text) << c.value;
    }
}

// Primary minima at T0 + P E, secondaries half a cycle later, with a tiny sawtooth of noise.
MinimaResult minimaOn(double t0, double p, int from, int to, double error) {
    MinimaResult r;
    for (int e = from; e <= to; ++e) {
        for (const bool primary : {true, false}) {
            Minimum m;
            m.primary = primary;
            m.cycle = e + (primary ? 0.0 : 0.5);
            m.at.time = t0 + p * m.cycle + (((e % 3) + 3) % 3 - 1) * error / 2;
            m.at.error = error;
            r.minima.push_back(m);
        }
    }
    return r;
}

TEST(TimingPlots, TheOMinusCDiagramShowsEachKindWithErrorsAndTheFittedEphemeris) {
    // Minima labelled against P = 1.5 while the truth is P = 1.5 + 2e-5 and T0 later by 0.001 d:
    // the fitted line rises by 2e-5 d a cycle from 0.001 d.
    const double refT0 = 2459000, refP = 1.5;
    TimingReport report;
    report.period = refP;
    report.epoch = refT0;
    report.minima = minimaOn(refT0 + 0.001, refP + 2e-5, -20, 40, 2e-4);
    for (Minimum& m : report.minima.minima) {
        m.oMinusC = m.at.time - (refT0 + refP * m.cycle);
    }
    report.ephemeris = fitEphemeris(report.minima.minima);
    ASSERT_TRUE(report.ephemeris);
    ASSERT_TRUE(oMinusCInMinutes(report.minima));
    const platform::PlotDescription d = oMinusCPlot(report, true, 800, 400);
    ASSERT_EQ(d.panels.size(), 1u);
    const auto& series = d.panels[0].series;
    ASSERT_EQ(series.size(), 4u) << "the ephemeris of each kind, primaries, secondaries";
    EXPECT_EQ(d.panels[0].y.label, "O - C (minutes)");
    EXPECT_EQ(d.x.label, "Cycle E");
    const platform::PlotSeries& line = series[0];
    const platform::PlotSeries& primaries = series[2];
    const platform::PlotSeries& secondaries = series[3];
    EXPECT_EQ(primaries.x.size(), 61u);
    EXPECT_EQ(secondaries.x.size(), 61u);
    EXPECT_EQ(primaries.error.size(), primaries.x.size());
    EXPECT_NE(primaries.color, secondaries.color);
    EXPECT_NE(primaries.style, secondaries.style) << "told apart without colour too";
    for (std::size_t k = 0; k < primaries.x.size(); ++k) {
        EXPECT_NEAR(primaries.error[k], 2e-4 * 1440, 1e-9);
        EXPECT_DOUBLE_EQ(primaries.x[k], std::round(primaries.x[k])) << "primaries at whole cycles";
    }
    for (std::size_t k = 0; k < line.x.size(); ++k) {
        EXPECT_NEAR(line.y[k], (0.001 + 2e-5 * line.x[k]) * 1440, 3e-5 * 1440) << "E = " << line.x[k];
    }
    EXPECT_LE(d.x.min, -20);
    EXPECT_GE(d.x.max, 40);
    // In days the same points are 1440 times smaller.
    const platform::PlotDescription days = oMinusCPlot(report, false, 800, 400);
    EXPECT_EQ(days.panels[0].y.label, "O - C (days)");
    EXPECT_NEAR(days.panels[0].series[2].y[5] * 1440, primaries.y[5], 1e-9);
}

TEST(Ephemeris, DisplacedSecondariesMoveNeitherTheEpochNorThePeriod) {
    // An eccentric orbit: every secondary 0.0015 d after phase 0.5, timed to 1e-5 d; the primaries
    // only at the even cycles, so a fit that ignored the displacement would be pulled both ways.
    MinimaResult r;
    std::mt19937 rng(8);
    std::normal_distribution<double> noise(0, 1e-5);
    const double t0 = 1739.92927, p = 1.26838924, shift = 0.0015;
    for (int e = 0; e < 20; ++e) {
        if (e % 2 == 0) {
            r.minima.push_back({{t0 + p * e + noise(rng), 1e-5, 100}, true, static_cast<double>(e), 0});
        }
        r.minima.push_back({{t0 + p * (e + 0.5) + shift + noise(rng), 1e-5, 100}, false, e + 0.5, 0});
    }
    const auto e = fitEphemeris(r.minima);
    ASSERT_TRUE(e);
    ASSERT_TRUE(e->hasSecondaryShift);
    EXPECT_NEAR(e->secondaryShift, shift, 4 * e->secondaryShiftError);
    EXPECT_NEAR(e->t0, t0, 4 * e->t0Error);
    EXPECT_NEAR(e->period, p, 4 * e->periodError);
    EXPECT_LT(e->chi2 / e->dof, 3) << "the model fits to within the errors";
    EXPECT_NE(secondaryShiftText(*e).find("after phase 0.5"), std::string::npos);
    // With primaries alone there is nothing to displace.
    std::vector<Minimum> primaries;
    std::copy_if(r.minima.begin(), r.minima.end(), std::back_inserter(primaries), [](const Minimum& m) { return m.primary; });
    EXPECT_FALSE(fitEphemeris(primaries)->hasSecondaryShift);
}

// An eccentric orbit's series: a V-shaped primary of 0.060 d at phase 0 and a secondary of 0.075 d
// displaced 0.064 d from phase 0.5, well beyond the timing window's half-width. The secondaries are
// still timed (sought where the fold shows them), and the widths at a tenth of the depth give
// e sin(omega) = (w2 - w1) / (w2 + w1) = 1/9.
TEST(Ephemeris, DisplacedSecondariesAreTimedAndTheirWidthsMeasured) {
    const double p = 2.0, t0 = 2458000.3, w1 = 0.060, w2 = 0.075, shift = 0.064;
    auto dip = [](double dt, double width, double depth) {
        return std::abs(dt) < width / 2 ? depth * (1 - 2 * std::abs(dt) / width) : 0.0;
    };
    std::vector<double> t, m;
    for (int k = 0; k < 8000; ++k) {
        const double time = 2458000 + k * 0.004;
        const double cycle = std::round((time - t0) / p);
        const double dt1 = time - (t0 + cycle * p);
        const double dt2 = std::remainder(time - (t0 + 0.5 * p + shift), p);
        t.push_back(time);
        m.push_back(10 + dip(dt1, w1, 0.6) + dip(dt2, w2, 0.3));
    }
    TimingRequest request;
    request.period = p;
    request.epoch = t0;
    const TimingReport r = analyseTiming(t, m, request);
    ASSERT_TRUE(r.ok()) << r.problem;
    ASSERT_TRUE(r.ephemeris && r.ephemeris->hasSecondaryShift);
    EXPECT_NEAR(r.ephemeris->secondaryShift, shift, 1e-4);
    EXPECT_NEAR(r.ephemeris->primaryWidth, 0.9 * w1, 0.002) << "a V's width at a tenth of its depth";
    EXPECT_NEAR(r.ephemeris->secondaryWidth, 0.9 * w2, 0.002);
    const std::string text = secondaryShiftText(*r.ephemeris);
    EXPECT_NE(text.find("e sin(omega) ~ 0.11"), std::string::npos) << text;
}

TEST(TimingPlots, MinutesUntilAnOMinusCWithItsErrorReachesAFiftiethOfADay) {
    MinimaResult r = minimaOn(0, 1, 0, 2, 0.001);
    r.minima[2].oMinusC = 0.0489;
    EXPECT_TRUE(oMinusCInMinutes(r));
    r.minima[2].oMinusC = -0.0491;
    EXPECT_FALSE(oMinusCInMinutes(r));
}

TEST(TimingPlots, ThePeriodogramKeepsEveryPeakAndMarksTheChosenPeriod) {
    PeriodSearch s;
    s.minPeriod = 0.1;
    s.maxPeriod = 20;
    // 100000 trials, flat but for one spike one trial wide: drawn at 800 pixels it must survive.
    for (int k = 0; k < 100000; ++k) {
        const double f = 1 / s.maxPeriod + k * (1 / s.minPeriod - 1 / s.maxPeriod) / 99999;
        s.periods.push_back(1 / f);
        s.power.push_back(k == 54321 ? 0.9 : 0.05);
    }
    s.period = 2 * s.periods[54321];
    s.candidates = {{s.periods[54321], 0.9}};
    const platform::PlotDescription d = periodogramPlot(s, 800, 400);
    const platform::PlotSeries& power = d.panels[0].series[0];
    EXPECT_LT(power.x.size(), 2000u) << "no more points than the picture can show";
    EXPECT_DOUBLE_EQ(*std::max_element(power.y.begin(), power.y.end()), 0.9) << "the spike survives";
    EXPECT_DOUBLE_EQ(d.marker, std::log10(s.period));
    EXPECT_EQ(d.panels[0].series[1].x.size(), 1u) << "the candidate";
    // A logarithmic axis labelled in days at 1, 2 and 5 times the powers of ten.
    EXPECT_DOUBLE_EQ(d.x.min, std::log10(0.1));
    EXPECT_DOUBLE_EQ(d.x.max, std::log10(20.0));
    const std::vector<std::string> labels = {"0.1", "0.2", "0.5", "1", "2", "5", "10", "20"};
    EXPECT_EQ(d.x.tickText, labels);
    EXPECT_GE(d.panels[0].y.max, 0.9);
}

TEST(TimingReport, AGivenEphemerisIsUsedAsGivenAndTooLittleDataIsRefused) {
    std::vector<double> t, m;
    std::mt19937 rng(2);
    std::normal_distribution<double> noise(0, 0.001);
    for (int i = 0; i < 8000; ++i) {
        const double time = 2459000 + i * 0.0025;
        double p = (time - 2459000.3) / 1.3;
        p -= std::floor(p);
        const double a = std::min(p, 1 - p), b = std::fabs(p - 0.5);
        t.push_back(time);
        m.push_back(12 + 0.5 * std::exp(-a * a / 0.0009) + 0.2 * std::exp(-b * b / 0.0009) + noise(rng));
    }
    TimingRequest given;
    given.period = 1.3;
    given.epoch = 2459000.3;
    const TimingReport r = analyseTiming(t, m, given);
    ASSERT_TRUE(r.ok()) << r.problem;
    EXPECT_FALSE(r.searched);
    EXPECT_EQ(r.epoch, 2459000.3);
    EXPECT_GE(r.minima.minima.size(), 25u);
    ASSERT_TRUE(r.ephemeris);
    EXPECT_NEAR(r.ephemeris->period, 1.3, 5 * r.ephemeris->periodError);

    const TimingReport searched = analyseTiming(t, m, {});
    ASSERT_TRUE(searched.ok()) << searched.problem;
    EXPECT_TRUE(searched.searched);
    EXPECT_NEAR(searched.period / 1.3, 1, 1e-5) << searched.search.why;

    const TimingReport few = analyseTiming(std::span(t).first(10), std::span(m).first(10), {});
    EXPECT_FALSE(few.ok());
    EXPECT_NE(few.problem.find("too few points"), std::string::npos) << few.problem;
}

TEST(PeriodSearch, StretchesOnDifferentZeroPointsStillGiveOnePeriod) {
    // Two 20-day stretches 500 days apart, the second 0.4 mag fainter (another camera, another
    // aperture): each is brought to its own level before the cycles are counted across the gap.
    const double period = 1.9171234, epoch = 2459000.77;
    std::vector<double> t, m;
    std::mt19937 rng(5);
    std::normal_distribution<double> noise(0, 0.002);
    for (const double start : {2459000.0, 2459500.0}) {
        for (double time = start; time < start + 20; time += 0.004) {
            double p = (time - epoch) / period;
            p -= std::floor(p);
            const double a = std::min(p, 1 - p), b = std::fabs(p - 0.5);
            t.push_back(time);
            m.push_back((start > 2459100 ? 12.4 : 12) + 0.5 * std::exp(-a * a / 0.0006) +
                        0.1 * std::exp(-b * b / 0.0006) + noise(rng));
        }
    }
    const PeriodSearch r = searchPeriod(t, m, 0.5, 10);
    ASSERT_TRUE(r.ok()) << r.why;
    EXPECT_NEAR(r.period / period, 1, 1e-6) << r.period << " (" << r.why << ")";
}

} // namespace
} // namespace corvane::timing
