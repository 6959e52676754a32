// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "app/CorvaneForm.h"
#include "bench/DesignSystem.h"
#include "render/Scene.h"

#include <benchmark/benchmark.h>

#include <cstdint>

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

// The floor a frame is measured against: clearing the picture and summing its pixels.
void BM_ClearAndSumPicture(benchmark::State& state) {
    platform::Canvas canvas(800, 500);
    for (auto _ : state) {
        canvas.clear();
        std::uint64_t sum = 0;
        for (platform::Pixel p : canvas.pixels()) {
            sum += (p & 0xFF) + ((p >> 8) & 0xFF) + ((p >> 16) & 0xFF);
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_ClearAndSumPicture)->Unit(benchmark::kMicrosecond);

} // namespace
