// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
// The ensemble sampler against distributions whose moments are known, its chain file, and the
// corner plot drawn from it.
#include "fitting/CornerPlot.h"
#include "fitting/Ensemble.h"
#include "platform/PlotPainter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <numeric>
#include <random>

namespace corvane::fitting {
namespace {

constexpr double Inf = std::numeric_limits<double>::infinity();

BatchObjective batchOf(const std::function<double(const std::vector<double>&)>& f, int threads = 1) {
    return [f, threads](const std::vector<std::vector<double>>& points) { return evaluateParallel(f, points, threads); };
}

// A Gaussian of the given means, standard deviations and correlation between parameters 0 and 1.
struct Gaussian {
    std::vector<double> mean, sigma;
    double rho = 0;
    double operator()(const std::vector<double>& x) const {
        const double a = (x[0] - mean[0]) / sigma[0], b = (x[1] - mean[1]) / sigma[1];
        double q = (a * a - 2 * rho * a * b + b * b) / (1 - rho * rho);
        for (std::size_t j = 2; j < x.size(); ++j) {
            const double c = (x[j] - mean[j]) / sigma[j];
            q += c * c;
        }
        return -0.5 * q;
    }
};

Chain run(const BatchObjective& logP, const std::vector<std::string>& names, std::vector<double> centre,
          std::vector<double> scale, int walkers, int steps, std::uint64_t seed) {
    const std::vector<double> lower(centre.size(), -1e9), upper(centre.size(), 1e9);
    Chain chain = startChain(logP, names, initialBall(centre, scale, lower, upper, walkers, seed), seed);
    extendChain(chain, logP, steps, 2, {}, std::atomic<bool>{false});
    return chain;
}

std::vector<double> samples(const Chain& c, std::size_t j, int burn) {
    std::vector<double> v;
    for (int s = burn; s < c.steps(); ++s) {
        for (int w = 0; w < c.walkers; ++w) {
            v.push_back(c.at(s, w, j));
        }
    }
    return v;
}

double mean(const std::vector<double>& v) { return std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size()); }
double covariance(const std::vector<double>& a, const std::vector<double>& b) {
    const double ma = mean(a), mb = mean(b);
    double c = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        c += (a[i] - ma) * (b[i] - mb);
    }
    return c / static_cast<double>(a.size() - 1);
}

struct GaussianCase {
    const char* name;
    Gaussian g;
};

void PrintTo(const GaussianCase& c, std::ostream* os) { *os << c.name; }

class EnsembleGaussian : public ::testing::TestWithParam<GaussianCase> {};

// The mean within five Monte Carlo errors (sigma sqrt(tau / samples)), the standard deviations within
// 12 % and the correlation within 0.06, from a start far narrower than the target.
TEST_P(EnsembleGaussian, RecoversTheMeanAndCovariance) {
    const Gaussian& g = GetParam().g;
    const std::size_t n = g.mean.size();
    std::vector<std::string> names;
    std::vector<double> scale;
    for (std::size_t j = 0; j < n; ++j) {
        names.push_back("p" + std::to_string(j));
        scale.push_back(g.sigma[j] * 1e-3);
    }
    const int steps = 3000, burn = 600, walkers = 32;
    const Chain c = run(batchOf(g), names, g.mean, scale, walkers, steps, 11);
    ASSERT_EQ(c.steps(), steps);
    for (std::size_t j = 0; j < n; ++j) {
        const auto v = samples(c, j, burn);
        const auto tau = autocorrelationTime(c, j, burn);
        ASSERT_TRUE(tau) << GetParam().name << " parameter " << j;
        const double mcError = g.sigma[j] * std::sqrt(*tau / static_cast<double>(v.size()));
        EXPECT_NEAR(mean(v), g.mean[j], 5 * mcError) << GetParam().name << " parameter " << j << ", tau " << *tau;
        EXPECT_NEAR(std::sqrt(covariance(v, v)), g.sigma[j], 0.12 * g.sigma[j]) << GetParam().name << " parameter " << j;
        EXPECT_LT(*tau, 0.02 * (steps - burn)) << GetParam().name << ": the chain mixes in far fewer steps than it has";
    }
    const auto a = samples(c, 0, burn), b = samples(c, 1, burn);
    EXPECT_NEAR(covariance(a, b) / std::sqrt(covariance(a, a) * covariance(b, b)), g.rho, 0.06) << GetParam().name;
    const double acceptance = acceptanceFraction(c, burn);
    EXPECT_GT(acceptance, 0.2) << GetParam().name;
    EXPECT_LT(acceptance, 0.9) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Targets, EnsembleGaussian,
    ::testing::Values(GaussianCase{"uncorrelated", {{0, 0}, {1, 1}, 0}},
                      GaussianCase{"strongly correlated, unequal scales", {{89.5, 0.13}, {0.3, 0.002}, 0.95}},
                      GaussianCase{"anti-correlated in four dimensions", {{1, -2, 3, 0}, {0.5, 2, 1, 0.1}, -0.8}}),
    [](const auto& info) {
        std::string s = info.param.name;
        for (char& ch : s) {
            if (!std::isalnum(static_cast<unsigned char>(ch))) {
                ch = '_';
            }
        }
        return s;
    });

// A flat prior on a box: every sample stays inside it and the moments are those of the uniform
// distribution (mean 1/2, variance 1/12), though half of the proposals near the walls land outside.
TEST(Ensemble, AFlatBoxIsSampledUniformlyAndNeverLeft) {
    auto flat = [](const std::vector<double>& x) {
        return x[0] > 0 && x[0] < 1 && x[1] > 0 && x[1] < 1 ? 0.0 : -Inf;
    };
    const Chain c = run(batchOf(flat), {"a", "b"}, {0.5, 0.5}, {0.01, 0.01}, 24, 2500, 5);
    for (std::size_t j = 0; j < 2; ++j) {
        const auto v = samples(c, j, 500);
        EXPECT_GT(*std::min_element(v.begin(), v.end()), 0);
        EXPECT_LT(*std::max_element(v.begin(), v.end()), 1);
        EXPECT_NEAR(mean(v), 0.5, 0.02) << "parameter " << j;
        EXPECT_NEAR(covariance(v, v), 1.0 / 12, 0.01) << "parameter " << j;
    }
}

// The same seed gives the same chain bit for bit whatever the threads; another seed another chain.
TEST(Ensemble, TheChainDependsOnTheSeedAloneNotOnTheThreads) {
    const Gaussian g{{0, 0, 0}, {1, 2, 3}, 0.5};
    const auto one = run(batchOf(g, 1), {"a", "b", "c"}, {0, 0, 0}, {0.1, 0.1, 0.1}, 16, 200, 3);
    const auto three = run(batchOf(g, 3), {"a", "b", "c"}, {0, 0, 0}, {0.1, 0.1, 0.1}, 16, 200, 3);
    const auto other = run(batchOf(g, 1), {"a", "b", "c"}, {0, 0, 0}, {0.1, 0.1, 0.1}, 16, 200, 4);
    EXPECT_EQ(one.x, three.x);
    EXPECT_EQ(one.logProbability, three.logProbability);
    EXPECT_NE(one.x, other.x);
}

// A chain written, read back and continued is the chain that ran on unbroken, and the file holds
// every number exactly.
TEST(Ensemble, AResumedChainContinuesExactly) {
    const Gaussian g{{1, 2}, {0.1, 0.3}, -0.3};
    const auto logP = batchOf(g);
    const Chain whole = run(logP, {"Inclination", "Mass Ratio"}, {1, 2}, {0.01, 0.01}, 10, 120, 9);

    Chain first = startChain(logP, {"Inclination", "Mass Ratio"},
                             initialBall({1, 2}, {0.01, 0.01}, {-1e9, -1e9}, {1e9, 1e9}, 10, 9), 9);
    extendChain(first, logP, 50, 2, {}, std::atomic<bool>{false});
    std::string why;
    auto resumed = parseChain(formatChain(first), why);
    ASSERT_TRUE(resumed) << why;
    EXPECT_EQ(resumed->x, first.x);
    EXPECT_EQ(resumed->seed, 9u);
    EXPECT_EQ(resumed->names, first.names);
    extendChain(*resumed, logP, 120, 2, {}, std::atomic<bool>{false});
    EXPECT_EQ(resumed->x, whole.x);
    EXPECT_EQ(resumed->logProbability, whole.logProbability);
}

TEST(Ensemble, CancellingKeepsWholeSteps) {
    const Gaussian g{{0, 0}, {1, 1}, 0};
    Chain c = startChain(batchOf(g), {"a", "b"}, initialBall({0, 0}, {1, 1}, {-9, -9}, {9, 9}, 8, 1), 1);
    std::atomic<bool> cancel{false};
    extendChain(c, batchOf(g), 1000, 2, [&](const EnsembleProgress& p) { cancel = p.step >= 7; }, cancel);
    EXPECT_EQ(c.steps(), 7);
    EXPECT_EQ(c.x.size(), 7u * 8 * 2);
}

struct BadChain {
    const char* what;
    std::string text;
    const char* why;
};

TEST(Ensemble, ChainFilesThatAreNotWholeAreRefusedWithTheReason) {
    const std::string head = "# Corvane ensemble chain: seed 3\nstep,walker,a,log-likelihood\n";
    const BadChain cases[] = {
        {"no first line", "step,walker,a,log-likelihood\n0,0,1,-1\n", "does not begin"},
        {"last step cut short", head + "0,0,1,-1\n0,1,2,-1\n1,0,1,-1\n", "last step is not whole"},
        {"a walker skipped", head + "0,0,1,-1\n0,1,2,-1\n1,1,1,-1\n", "out of order"},
        {"a bad number", head + "0,0,1,-1\n0,1,x,-1\n", "bad number 'x'"},
        {"a missing field", head + "0,0,1\n", "fields"},
        {"one walker", head + "0,0,1,-1\n1,0,1,-1\n", "fewer than two walkers"},
        {"a header without names", "# Corvane ensemble chain: seed 3\nstep,walker,log-likelihood\n", "header"},
    };
    for (const BadChain& c : cases) {
        std::string why;
        EXPECT_FALSE(parseChain(c.text, why)) << c.what;
        EXPECT_NE(why.find(c.why), std::string::npos) << c.what << ": " << why;
    }
    std::string why;
    const auto ok = parseChain(head + "0,0,1,-inf\n0,1,2,-1.5\r\n1,0,1,-1\n1,1,2,-1.5\n", why);
    ASSERT_TRUE(ok) << why;
    EXPECT_EQ(ok->steps(), 2);
    EXPECT_EQ(ok->logProbability[0], -Inf);
}

// An AR(1) series x_t = phi x_{t-1} + e_t has the integrated autocorrelation time (1 + phi) / (1 - phi).
TEST(Ensemble, TheAutocorrelationTimeOfAnAutoregressiveSeries) {
    for (const double phi : {0.0, 0.5, 0.9}) {
        Chain c;
        c.names = {"a"};
        c.walkers = 16;
        const int steps = 4000;
        std::mt19937 rng(2);
        std::normal_distribution<double> e(0, 1);
        std::vector<double> last(16, 0);
        for (int s = 0; s < steps; ++s) {
            for (int w = 0; w < 16; ++w) {
                last[static_cast<std::size_t>(w)] = phi * last[static_cast<std::size_t>(w)] + e(rng);
                c.x.push_back(last[static_cast<std::size_t>(w)]);
                c.logProbability.push_back(0);
            }
        }
        const auto tau = autocorrelationTime(c, 0, 0);
        ASSERT_TRUE(tau) << "phi " << phi;
        const double truth = (1 + phi) / (1 - phi);
        EXPECT_NEAR(*tau, truth, 0.12 * truth) << "phi " << phi;
    }
}

TEST(Ensemble, QuantilesInterpolateBetweenOrderStatistics) {
    EXPECT_DOUBLE_EQ(quantile({3, 1, 2, 4, 5}, 0.5), 3);
    EXPECT_DOUBLE_EQ(quantile({1, 2, 3, 4}, 0.5), 2.5);
    EXPECT_DOUBLE_EQ(quantile({1, 2}, 0), 1);
    EXPECT_DOUBLE_EQ(quantile({1, 2}, 1), 2);
    EXPECT_DOUBLE_EQ(quantile({7}, 0.16), 7);
    EXPECT_TRUE(std::isnan(quantile({}, 0.5)));
}

// A light curve with an eclipse of known depth and width, seen through noise again and again: the
// 68 % intervals hold the truth about 68 % of the time (a loose band for 40 trials).
TEST(Ensemble, SixtyEightPercentIntervalsHoldTheTruthAboutSoOften) {
    const double depth = 0.3, width = 0.05, sigma = 0.02;
    int hits[2] = {0, 0};
    const int trials = 40;
    for (int trial = 0; trial < trials; ++trial) {
        std::mt19937 rng(100 + static_cast<unsigned>(trial));
        std::normal_distribution<double> noise(0, sigma);
        std::vector<double> phase, mag;
        for (int i = 0; i < 120; ++i) {
            phase.push_back(-0.25 + i / 120.0);
            mag.push_back(depth * std::exp(-0.5 * std::pow(phase.back() / width, 2)) + noise(rng));
        }
        auto logL = [&](const std::vector<double>& p) {
            if (p[0] <= 0 || p[0] >= 1 || p[1] <= 0.001 || p[1] >= 0.25) {
                return -Inf;
            }
            double chi2 = 0;
            for (std::size_t i = 0; i < phase.size(); ++i) {
                const double r = (mag[i] - p[0] * std::exp(-0.5 * std::pow(phase[i] / p[1], 2))) / sigma;
                chi2 += r * r;
            }
            return -0.5 * chi2;
        };
        const Chain c = run(batchOf(logL), {"depth", "width"}, {depth, width}, {0.001, 0.0005}, 16, 700,
                            static_cast<std::uint64_t>(trial + 1));
        const double truth[2] = {depth, width};
        for (std::size_t j = 0; j < 2; ++j) {
            const Interval r = credibleInterval(c, j, 200);
            EXPECT_LT(r.low, r.median);
            EXPECT_LT(r.median, r.high);
            hits[j] += r.low <= truth[j] && truth[j] <= r.high ? 1 : 0;
        }
    }
    for (int j = 0; j < 2; ++j) {
        EXPECT_GE(hits[j], 18) << "parameter " << j << ": " << hits[j] << " of " << trials;
        EXPECT_LE(hits[j], 36) << "parameter " << j << ": " << hits[j] << " of " << trials;
    }
}

TEST(CornerPlot, HasEachPairOnceAndEveryHistogramCountsEverySampleInItsSpan) {
    const Gaussian g{{90, 0.5, 3}, {0.2, 0.01, 1}, 0.7};
    const Chain c = run(batchOf(g), {"Inclination", "Mass Ratio", "T"}, g.mean, {0.01, 0.001, 0.1}, 12, 400, 2);
    const platform::PlotFigure f = cornerPlot(c, 100);
    EXPECT_EQ(f.rows, 3);
    ASSERT_EQ(f.cells.size(), 6u);
    for (const auto& cell : f.cells) {
        EXPECT_LE(cell.col, cell.row);
        const auto& d = cell.plot;
        const Interval mid = credibleInterval(c, static_cast<std::size_t>(cell.col), 100);
        EXPECT_GT(mid.median, d.x.min) << cell.row << "," << cell.col;
        EXPECT_LT(mid.median, d.x.max) << cell.row << "," << cell.col;
        EXPECT_DOUBLE_EQ(d.marker, mid.median);
        EXPECT_EQ(d.x.label.empty(), cell.row != 2) << "names along the bottom only";
        if (cell.row == cell.col) {
            const auto& stairs = d.panels[0].series[0].y;
            double counted = 0;
            for (std::size_t k = 0; k < stairs.size(); k += 2) {
                counted += stairs[k];
            }
            // The span is the middle 99 % padded by 5 %: nearly every sample is in it.
            EXPECT_GT(counted, 0.99 * 300 * 12) << "parameter " << cell.col;
            EXPECT_LE(counted, 300.0 * 12);
        } else {
            EXPECT_LE(d.panels[0].series[0].x.size(), 3000u);
        }
    }
    const auto dir = std::filesystem::temp_directory_path();
    for (const char* name : {"corvane-corner-test.png", "corvane-corner-test.svg"}) {
        const auto file = dir / name;
        EXPECT_EQ(platform::saveFigure(f, file, cornerSide(3), cornerSide(3)), "") << name;
        EXPECT_GT(std::filesystem::file_size(file), 1000u) << name;
        std::filesystem::remove(file);
    }
    EXPECT_NE(platform::figureSvg(f, 600, 600).find("Inclination"), std::string::npos);
}

} // namespace
} // namespace corvane::fitting
