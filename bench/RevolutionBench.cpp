// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "app/CorvaneForm.h"
#include "bench/DesignSystem.h"
#include "lightcurve/LightCurve.h"

#include <benchmark/benchmark.h>

#include <chrono>

namespace {

using namespace corvane;

constexpr int Frames = 360;

// The floor of a frame: clearing the 800 x 500 picture and summing one channel of it.
double floorSeconds() {
    platform::Canvas canvas(800, 500);
    std::uint64_t total = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int k = 0; k < Frames; ++k) {
        canvas.clear();
        total += lightcurve::channelSum(canvas, 3);
    }
    benchmark::DoNotOptimize(total);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One revolution of the default system (design texts, 10 latitude lines, 800 x 500) at 1 degree a
// step: 360 animation ticks, each drawing the frame and measuring it. Counters: the floor for the
// same 360 frames and the ratio of a frame's cost to the floor's.
void BM_RevolutionWithPhotometry(benchmark::State& state) {
    platform::ScriptedDialogs dialogs;
    app::CorvaneForm form(dialogs);
    bench::loadDesignSystem(form);
    form.typeText("txtAnimSpeed", "1");
    form.setSwitch("chkPhotometry", 1);
    form.AnimCheck.Value = 1;
    double floorTotal = 0;
    int runs = 0;
    for (auto _ : state) {
        form.Eta = 0;
        for (int k = 0; k < Frames; ++k) {
            form.Timer1_Timer();
        }
        state.PauseTiming();
        floorTotal += floorSeconds();
        ++runs;
        state.ResumeTiming();
    }
    state.counters["floor_s"] = floorTotal / runs;
    state.counters["frames"] = Frames;
}
BENCHMARK(BM_RevolutionWithPhotometry)->Unit(benchmark::kMillisecond)->MinTime(3.0);

} // namespace
