// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "app/CorvaneForm.h"
#include "bench/DesignSystem.h"
#include "roche/Constants.h"
#include "roche/Roche.h"
#include "roche/StarShape.h"

#include <benchmark/benchmark.h>

namespace {

using namespace corvane;

void BM_RochePot(benchmark::State& state) {
    roche::RocheState s;
    for (auto _ : state) {
        s.Q = 2.4;
        roche::RochePot(s);
        benchmark::DoNotOptimize(s.OmegaCrit);
    }
}
BENCHMARK(BM_RochePot);

// One uncached surface radius: the per-vertex cost of the first frame after a refresh.
void BM_StarShapeUncached(benchmark::State& state) {
    roche::RocheState r;
    r.Q = 2.4;
    roche::RochePot(r);
    const roche::ShapeInputs in{0.305, 0.45, 2.4, r.LagrangeX};
    roche::ShapeState s;
    roche::ShapeCache cache;
    cache.resize(10);
    double theta = 0;
    for (auto _ : state) {
        theta += 0.01;
        benchmark::DoNotOptimize(roche::StarShape(s, in, cache, 1, 0.3, theta, 0, 0, 0, true));
    }
}
BENCHMARK(BM_StarShapeUncached);

// The whole refresh of the default system (lists and geometry; drawing comes later).
void BM_Refresh(benchmark::State& state) {
    platform::ScriptedDialogs dialogs;
    app::CorvaneForm form(dialogs);
    bench::loadDesignSystem(form);
    for (auto _ : state) {
        form.Refresh_Click();
        benchmark::DoNotOptimize(form.Omega2);
    }
}
BENCHMARK(BM_Refresh);

} // namespace
