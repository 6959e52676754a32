// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
// The period search and the times of minimum on a space telescope's two sectors: 27 days each, 700
// days apart, 2-minute cadence (38880 points), 1 mmag of noise, two eclipses of 0.5 and 0.2 mag.
#include "timing/Minima.h"
#include "timing/PeriodSearch.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

using namespace corvane::timing;

constexpr double Period = 2.7182818, Epoch = 2458600.5432;

struct Series {
    std::vector<double> t, m;
};

const Series& twoSectors() {
    static const Series s = [] {
        Series out;
        std::mt19937 rng(1);
        std::normal_distribution<double> noise(0, 0.001);
        for (const double start : {2458604.0, 2459304.0}) {
            for (double t = start; t < start + 27; t += 2.0 / 1440) {
                double p = (t - Epoch) / Period;
                p -= std::floor(p);
                const double a = std::min(p, 1 - p), b = std::fabs(p - 0.5);
                out.t.push_back(t);
                out.m.push_back(10 + 0.5 * std::exp(-a * a / 0.0004) + 0.2 * std::exp(-b * b / 0.0004) + noise(rng));
            }
        }
        return out;
    }();
    return s;
}

void periodSearch(benchmark::State& state) {
    const Series& s = twoSectors();
    double found = 0;
    for (auto _ : state) {
        const PeriodSearch r = searchPeriod(s.t, s.m, 0, 0, static_cast<Method>(state.range(0)));
        found = r.period;
        state.SetLabel(r.why);
        benchmark::DoNotOptimize(found);
    }
    state.counters["relative_error"] = std::fabs(found / Period - 1);
    state.counters["points"] = static_cast<double>(s.t.size());
}
BENCHMARK(periodSearch)->Arg(static_cast<int>(Method::Dispersion))->Arg(static_cast<int>(Method::LombScargle))
    ->Unit(benchmark::kSecond)->Iterations(1);

void everyMinimum(benchmark::State& state) {
    const Series& s = twoSectors();
    std::size_t timed = 0;
    for (auto _ : state) {
        const MinimaResult r = findMinima(s.t, s.m, Period, Epoch);
        timed = r.minima.size();
        benchmark::DoNotOptimize(timed);
    }
    state.counters["minima"] = static_cast<double>(timed);
}
BENCHMARK(everyMinimum)->Unit(benchmark::kMillisecond);

} // namespace
