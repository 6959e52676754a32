// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "app/CorvaneForm.h"
#include "bench/DesignSystem.h"
#include "lightcurve/LightCurve.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace {

using namespace corvane;

constexpr int Frames = 360;

// The memory floor of a frame: one plain pass clearing a whole 800 x 500 picture and one summing a
// channel of it (what any frame drawn and measured from scratch must at least touch).
double floorSeconds() {
    std::vector<platform::Pixel> picture(800 * 500, 0x102030u);
    std::uint64_t total = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int k = 0; k < Frames; ++k) {
        std::fill(picture.begin(), picture.end(), 0u);
        benchmark::ClobberMemory();
        std::uint64_t sum = 0;
        for (platform::Pixel p : picture) {
            sum += (p >> 16) & 0xFF;
        }
        total += sum;
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
    double revolutionTotal = 0;
    int runs = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        form.Eta = 0;
        for (int k = 0; k < Frames; ++k) {
            form.Timer1_Timer();
        }
        revolutionTotal += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.PauseTiming();
        floorTotal += floorSeconds();
        ++runs;
        state.ResumeTiming();
    }
    // Side by side: a frame of the revolution, the floor of a frame, and their ratio.
    state.counters["frame_us"] = revolutionTotal / runs / Frames * 1e6;
    state.counters["floor_us"] = floorTotal / runs / Frames * 1e6;
    state.counters["ratio"] = revolutionTotal / floorTotal;
    state.counters["frames"] = Frames;
}
BENCHMARK(BM_RevolutionWithPhotometry)->Unit(benchmark::kMillisecond)->MinTime(3.0);

} // namespace
