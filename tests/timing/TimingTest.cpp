// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "timing/Minima.h"
#include "timing/PeriodSearch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace corvane::timing {
namespace {

constexpr double Pi = 3.14159265358979;

// An eclipsing binary's magnitude at phase p: two eclipses of Gaussian profile (depths d1 at phase
// 0 and d2 at 0.5, width w) on an ellipsoidal wave of amplitude e.
struct Shape {
    double d1, d2, w, e;
    double operator()(double p) const {
        p -= std::floor(p);
        const double a = std::min(p, 1 - p), b = std::fabs(p - 0.5);
        return 10 + d1 * std::exp(-a * a / (w * w)) + d2 * std::exp(-b * b / (w * w)) + e * (1 - std::cos(4 * Pi * p)) / 2;
    }
};

struct Series {
    std::vector<double> t, m;
};

// Uneven sampling with gaps: n points over `days`, a tenth of the span missing in the middle.
Series observe(const Shape& s, double period, double epoch, int n, double days, double noise, unsigned seed,
               double quadratic = 0, double start = 2459000) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> when(start, start + days);
    std::normal_distribution<double> sigma(0, noise);
    Series out;
    while (static_cast<int>(out.t.size()) < n) {
        const double t = when(rng);
        if (std::fabs(t - (start + days / 2)) < days / 20) {
            continue; // the gap
        }
        // With T(E) = T0 + P E + Q E^2 the phase is the E that solves it.
        double e = (t - epoch) / period;
        for (int k = 0; k < 3 && quadratic != 0; ++k) {
            e = (t - epoch - quadratic * e * e) / period;
        }
        out.t.push_back(t);
        out.m.push_back(s(e) + sigma(rng));
    }
    return out;
}

struct PeriodCase {
    const char* name;
    Shape shape;
    double period;
    Method method;
};

class PeriodTable : public ::testing::TestWithParam<PeriodCase> {};

TEST_P(PeriodTable, TheTruePeriodIsFoundNotItsHalfOrDouble) {
    const PeriodCase& c = GetParam();
    const Series s = observe(c.shape, c.period, 2459001.234, 20000, 30, 0.002, 9);
    const PeriodSearch r = searchPeriod(s.t, s.m, 0.2, 10, c.method);
    ASSERT_TRUE(r.ok()) << c.name << ": " << r.why;
    EXPECT_NEAR(r.period / c.period, 1, 1e-5) << c.name << ": found " << r.period << " (" << r.why << ")";
    EXPECT_LE(r.candidates.size(), 5u);
    EXPECT_FALSE(r.periods.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Systems, PeriodTable,
    ::testing::Values(PeriodCase{"detached", {0.6, 0.25, 0.03, 0.005}, 2.4731, Method::Dispersion},
                      PeriodCase{"semi-detached", {0.9, 0.08, 0.06, 0.05}, 1.1874, Method::Dispersion},
                      PeriodCase{"contact, nearly equal minima", {0.30, 0.27, 0.10, 0.25}, 0.3712, Method::Dispersion},
                      PeriodCase{"contact by Lomb-Scargle", {0.30, 0.27, 0.10, 0.25}, 0.3712, Method::LombScargle}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(PeriodSearch, RefusesTooFewPointsAndTooShortASpan) {
    const Shape s{0.5, 0.2, 0.04, 0};
    const Series few = observe(s, 1, 2459000, 10, 20, 0.001, 1);
    EXPECT_FALSE(searchPeriod(few.t, few.m).ok());
    EXPECT_NE(searchPeriod(few.t, few.m).why.find("too few points"), std::string::npos);
    const Series shortSpan = observe(s, 1, 2459000, 200, 3, 0.001, 1);
    const PeriodSearch r = searchPeriod(shortSpan.t, shortSpan.m, 0.5, 2.5);
    EXPECT_FALSE(r.ok());
    EXPECT_NE(r.why.find("shorter than two trial periods"), std::string::npos) << r.why;
}

TEST(PeriodSearch, AMistypedTimeIsLeftOutAndReportedAndTheSearchStaysBounded) {
    // 120 points near 2459001 and one written 24592459001.28: the span once ran to 2.4e10 days and
    // the search to billions of trials (over eleven minutes, deaf to SIGTERM).
    const Shape shape{0.6, 0.25, 0.03, 0.005};
    for (const double typo : {24592459001.28, 2459001.28 - 1e9}) {
        Series s = observe(shape, 2.4731, 2459001.234, 120, 30, 0.002, 5);
        s.t[40] = typo;
        const PeriodSearch r = searchPeriod(s.t, s.m);
        ASSERT_EQ(r.leftOut.size(), 1u) << typo << ": " << r.why;
        EXPECT_EQ(r.leftOut[0], typo);
        EXPECT_LT(r.periods.size(), 100000u) << "trials bounded by the series without the typo";
        EXPECT_NE(r.why.find("left out 1 time far outside the rest"), std::string::npos) << r.why;
        // Timing the minima visits only cycles with points (a walk over the typo's 1e10 cycles would
        // never end): the same minima as without the typo.
        Series dense = observe(shape, 2.4731, 2459001.234, 3000, 30, 0.002, 5);
        const std::size_t expected = findMinima(dense.t, dense.m, 2.4731, 2459001.234).minima.size();
        dense.t[40] = typo;
        EXPECT_GT(expected, 5u);
        EXPECT_EQ(findMinima(dense.t, dense.m, 2.4731, 2459001.234).minima.size(), expected) << typo;
    }
    // Two sectors 700 days apart are a series, not an outlier.
    Series two = observe(shape, 2.4731, 2459001.234, 400, 27, 0.002, 6);
    const Series later = observe(shape, 2.4731, 2459001.234, 400, 27, 0.002, 7, 0, 2459700);
    two.t.insert(two.t.end(), later.t.begin(), later.t.end());
    two.m.insert(two.m.end(), later.m.begin(), later.m.end());
    EXPECT_TRUE(searchPeriod(two.t, two.m, 0.2, 10).leftOut.empty());
    // A range that would take more trials than the limit is refused with the way out.
    const Series day = observe(shape, 2.4731, 2459001.234, 200, 3000, 0.002, 8);
    const PeriodSearch wide = searchPeriod(day.t, day.m, 1e-4, 1000);
    EXPECT_FALSE(wide.ok());
    EXPECT_NE(wide.why.find("give a narrower range"), std::string::npos) << wide.why;
}

TEST(PeriodSearch, ACancelStopsItWithNoPeriod) {
    const Series s = observe({0.6, 0.25, 0.03, 0.005}, 2.4731, 2459001.234, 2000, 30, 0.002, 9);
    const std::atomic<bool> cancel{true};
    const PeriodSearch r = searchPeriod(s.t, s.m, 0, 0, Method::Dispersion, &cancel);
    EXPECT_TRUE(r.cancelled);
    EXPECT_FALSE(r.ok());
    EXPECT_LE(r.periods.size(), 1024u) << "stopped within the first batch of trials";
}

TEST(Minima, KweeVanWoerdenRecoversTheTimeWithinItsErrorAndThePolynomialAgrees) {
    const Shape s{0.5, 0.2, 0.03, 0};
    const double period = 2.0, epoch = 2459001.0;
    int within = 0, agree = 0;
    double sumError = 0, sumSquare = 0;
    const int runs = 40;
    for (int run = 0; run < runs; ++run) {
        const Series obs = observe(s, period, epoch, 4000, 4, 0.003, 100 + static_cast<unsigned>(run));
        const double truth = epoch + period; // inside the span, away from the gap
        const auto kvw = kweeVanWoerden(obs.t, obs.m, truth + 0.004, 0.12);
        const auto poly = symmetricPolynomial(obs.t, obs.m, truth + 0.004, 0.12);
        ASSERT_TRUE(kvw && poly) << run;
        within += std::fabs(kvw->time - truth) < 3 * kvw->error;
        agree += std::fabs(kvw->time - poly->time) < 3 * std::hypot(kvw->error, poly->error);
        sumError += kvw->error;
        sumSquare += (kvw->time - truth) * (kvw->time - truth);
    }
    EXPECT_GE(within, runs * 9 / 10);
    EXPECT_GE(agree, runs * 9 / 10);
    // The stated error is the scatter's size (not ten times smaller or larger).
    const double scatter = std::sqrt(sumSquare / runs), stated = sumError / runs;
    EXPECT_GT(stated / scatter, 0.4) << "stated " << stated << " scatter " << scatter;
    EXPECT_LT(stated / scatter, 2.5) << "stated " << stated << " scatter " << scatter;
}

TEST(Minima, EveryCoveredEclipseIsTimedLabelledAndOneWithABranchMissingIsSkipped) {
    const Shape s{0.5, 0.2, 0.03, 0};
    const double period = 2.0, epoch = 2459001.0;
    Series obs = observe(s, period, epoch, 6000, 20, 0.002, 5);
    // Take away the egress of the primary at E = 4 (one branch missing).
    Series cut;
    for (std::size_t i = 0; i < obs.t.size(); ++i) {
        const double d = obs.t[i] - (epoch + 4 * period);
        if (!(d > 0 && d < 0.2)) {
            cut.t.push_back(obs.t[i]);
            cut.m.push_back(obs.m[i]);
        }
    }
    const MinimaResult r = findMinima(cut.t, cut.m, period, epoch);
    EXPECT_GE(r.skipped, 1);
    int primaries = 0, secondaries = 0;
    for (const Minimum& mi : r.minima) {
        EXPECT_LT(std::fabs(mi.oMinusC), 5 * mi.at.error + 1e-4) << "E = " << mi.cycle;
        EXPECT_EQ(mi.primary, std::fabs(mi.cycle - std::round(mi.cycle)) < 0.25);
        EXPECT_NE(mi.cycle, 4) << "the cut eclipse is not timed";
        (mi.primary ? primaries : secondaries) += 1;
    }
    EXPECT_GE(primaries, 8);
    EXPECT_GE(secondaries, 8);
    const auto e = fitEphemeris(r.minima);
    ASSERT_TRUE(e);
    EXPECT_NEAR(e->period, period, 5 * e->periodError + 1e-7);
    EXPECT_NEAR(e->t0, epoch, 5 * e->t0Error + 1e-6);
    const auto epochFound = primaryEpoch(cut.t, cut.m, period);
    ASSERT_TRUE(epochFound);
    const double cycles = (epochFound->time - epoch) / period;
    EXPECT_NEAR(cycles, std::round(cycles), 1e-3) << "a primary minimum";
    EXPECT_NEAR(epochFound->time, 2459000 + 10, 2 * period) << "the covered minimum nearest the middle of the data";
}

// A narrow deep eclipse (0.5 mag, Gaussian width 0.004 of a phase) and a wide shallow one (0.4 mag,
// width 0.02): averaged over bins of a hundredth of a phase the shallow one looks the deeper, and
// the epoch must still fall on the deep one, wherever the series starts and whichever of the two
// comes first.
TEST(Minima, TheEpochIsTheDeeperEclipseAtAResolutionFinerThanBoth) {
    const double period = 1.3;
    for (const double deepAt : {0.0, 0.5}) {
        for (const double start : {2459000.0, 2459000.37, 2459000.81}) {
            std::mt19937 rng(9);
            std::uniform_real_distribution<double> when(start, start + 40);
            std::normal_distribution<double> noise(0, 0.002);
            std::vector<double> t, m;
            for (int i = 0; i < 20000; ++i) {
                t.push_back(when(rng));
                const double p = (t.back() - 2459000) / period;
                auto dip = [&](double centre, double depth, double w) {
                    const double d = p - centre - std::round(p - centre);
                    return depth * std::exp(-d * d / (w * w));
                };
                m.push_back(10 + dip(deepAt, 0.5, 0.004) + dip(deepAt + 0.5, 0.4, 0.02) + noise(rng));
            }
            const auto epoch = primaryEpoch(t, m, period);
            ASSERT_TRUE(epoch) << "start " << start;
            const double c = (epoch->time - 2459000) / period - deepAt;
            EXPECT_NEAR(c - std::round(c), 0, 1e-3) << "deep eclipse at " << deepAt << ", start " << start;
        }
    }
}

TEST(Ephemeris, AnInjectedQuadraticTermIsRecovered) {
    // Minima on T = T0 + P E + Q E^2 with Q = 2e-7 d, timed with 1e-4 d errors.
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0, 1e-4);
    std::vector<Minimum> minima;
    const double t0 = 2450000.5, p = 1.2345678, q = 2e-7;
    for (int e = -2000; e <= 2000; e += 50) {
        Minimum m;
        m.cycle = e;
        m.at.time = t0 + p * e + q * e * e + noise(rng);
        m.at.error = 1e-4;
        minima.push_back(m);
    }
    const auto linear = fitEphemeris(minima, false);
    const auto quad = fitEphemeris(minima, true);
    ASSERT_TRUE(linear && quad);
    EXPECT_NEAR(quad->quadratic, q, 4 * quad->quadraticError);
    EXPECT_LT(quad->quadraticError, q / 5) << "significant";
    EXPECT_NEAR(quad->period, p, 4 * quad->periodError);
    EXPECT_GT(linear->chi2 / linear->dof, 10 * quad->chi2 / quad->dof) << "the parabola is needed";
    EXPECT_FALSE(fitEphemeris({minima[0]}));
}

TEST(Ephemeris, ALongerBaselineGivesASmallerPeriodError) {
    const Shape s{0.5, 0.2, 0.03, 0};
    const double period = 1.7, epoch = 2459000.3;
    Series one = observe(s, period, epoch, 4000, 27, 0.001, 7);
    Series two = one;
    const Series later = observe(s, period, epoch, 4000, 27, 0.001, 8, 0, 2459700);
    two.t.insert(two.t.end(), later.t.begin(), later.t.end());
    two.m.insert(two.m.end(), later.m.begin(), later.m.end());
    const auto a = fitEphemeris(findMinima(one.t, one.m, period, epoch).minima);
    const auto b = fitEphemeris(findMinima(two.t, two.m, period, epoch).minima);
    ASSERT_TRUE(a && b);
    EXPECT_LT(b->periodError, a->periodError / 10);
    EXPECT_NEAR(b->period / period, 1, 1e-6);
}

} // namespace
} // namespace corvane::timing
