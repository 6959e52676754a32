// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "app/CorvaneForm.h"
#include "bench/DesignSystem.h"
#include "render/Scene.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace corvane;

// One frame of the default system (10 latitude lines, 800 x 500) drawn after a refresh, so the
// shape cache is warm as it is for every animation frame.
void BM_DrawFrameDefaultSystem(benchmark::State& state) {
    platform::ScriptedDialogs dialogs;
    app::CorvaneForm form(dialogs);
    bench::loadDesignSystem(form);
    const render::SceneInputs in = form.sceneInputs();
    for (auto _ : state) {
        render::DrawStar(form.Scene, in);
        benchmark::DoNotOptimize(form.Scene.Picture1.pixels().data());
    }
    state.counters["cells"] = form.Scene.CellsDrawn;
}
BENCHMARK(BM_DrawFrameDefaultSystem)->Unit(benchmark::kMicrosecond);

// The same frame with a cold shape cache: the first frame after a parameter change.
void BM_DrawFrameColdCache(benchmark::State& state) {
    platform::ScriptedDialogs dialogs;
    app::CorvaneForm form(dialogs);
    bench::loadDesignSystem(form);
    const render::SceneInputs in = form.sceneInputs();
    for (auto _ : state) {
        form.Scene.ShapeCache.clear();
        render::DrawStar(form.Scene, in);
        benchmark::DoNotOptimize(form.Scene.Picture1.pixels().data());
    }
}
BENCHMARK(BM_DrawFrameColdCache)->Unit(benchmark::kMicrosecond);

// The floor a frame is measured against: one plain pass clearing the whole 800 x 500 picture and one
// summing a channel of it.
void BM_ClearAndSumPicture(benchmark::State& state) {
    std::vector<platform::Pixel> picture(800 * 500, 0x102030u);
    for (auto _ : state) {
        std::fill(picture.begin(), picture.end(), 0u);
        benchmark::ClobberMemory();
        std::uint64_t sum = 0;
        for (platform::Pixel p : picture) {
            sum += (p >> 16) & 0xFF;
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_ClearAndSumPicture)->Unit(benchmark::kMicrosecond);

// One animation frame as the light curve takes it: drawn, then measured by the photometry (the
// picture's sum in one channel, the point stored and plotted).
void BM_FrameWithPhotometry(benchmark::State& state) {
    platform::ScriptedDialogs dialogs;
    app::CorvaneForm form(dialogs);
    bench::loadDesignSystem(form);
    form.setSwitch("chkPhotometry", 1);
    form.Eta = 0.3;
    for (auto _ : state) {
        form.DrawStar();
        benchmark::DoNotOptimize(form.Curve.FrameSum);
    }
}
BENCHMARK(BM_FrameWithPhotometry)->Unit(benchmark::kMicrosecond);

// The frame at finer grids: the work should follow the cells.
void BM_DrawFrameLatitudeLines(benchmark::State& state) {
    platform::ScriptedDialogs dialogs;
    app::CorvaneForm form(dialogs);
    bench::loadDesignSystem(form);
    form.typeText("txtN1", std::to_string(state.range(0)));
    const render::SceneInputs in = form.sceneInputs();
    for (auto _ : state) {
        render::DrawStar(form.Scene, in);
        benchmark::DoNotOptimize(form.Scene.Picture1.pixels().data());
    }
    state.counters["cells"] = form.Scene.CellsDrawn;
}
BENCHMARK(BM_DrawFrameLatitudeLines)->Arg(10)->Arg(30)->Arg(60)->Unit(benchmark::kMicrosecond);

} // namespace
