// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "app/CorvaneForm.h"
#include "precise/PreciseLight.h"
#include "roche/Constants.h"
#include "roche/NeckShape.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <vector>

namespace {

using namespace corvane;

render::SceneInputs pair(double q, double r1, double r2, double incl, bool neck) {
    render::SceneInputs in;
    in.Shape.QText = q;
    in.QRatio = q;
    in.Radius1 = r1;
    in.Radius2 = r2;
    in.Iota = incl * Pi / 180;
    in.Limb1 = in.Limb2 = 0.5;
    in.Neck = neck;
    in.View.ZoomScale = 100.0 * 500 / 300;
    return in;
}

// 360 phases, one a degree, of a precise curve from a fresh engine (what a refresh computes).
void preciseRevolution(benchmark::State& state, const render::SceneInputs& in) {
    std::vector<double> etas;
    for (int k = 0; k < 360; ++k) {
        etas.push_back(k * Pi / 180);
    }
    for (auto _ : state) {
        const precise::PreciseLight light(in);
        benchmark::DoNotOptimize(light.curve(etas));
    }
    state.counters["phases"] = 360;
}

void BM_PreciseRevolutionDetached(benchmark::State& state) { preciseRevolution(state, pair(1, 0.25, 0.2, 82, false)); }
BENCHMARK(BM_PreciseRevolutionDetached)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The same detached pair (Roche surfaces) plain and with every effect of the light on: a passband, a
// two-coefficient law, gravity darkening, reflection and third light.
render::SceneInputs withEffects(render::SceneInputs in) {
    in.Temp1 = 6500;
    in.Temp2 = 5200;
    in.Light.passband = "TESS";
    in.Light.law = light::LimbLaw::Quadratic;
    in.Light.limb1b = in.Light.limb2b = 0.2;
    in.Light.gravity1 = in.Light.gravity2 = 0.25;
    in.Light.albedo1 = in.Light.albedo2 = 1;
    in.Light.thirdLight = 0.05;
    return in;
}

void BM_PreciseRevolutionDetachedRochePlain(benchmark::State& state) {
    preciseRevolution(state, pair(0.5, 0.3, 0.22, 85, false));
}
BENCHMARK(BM_PreciseRevolutionDetachedRochePlain)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_PreciseRevolutionDetachedRocheEffects(benchmark::State& state) {
    preciseRevolution(state, withEffects(pair(0.5, 0.3, 0.22, 85, false)));
}
BENCHMARK(BM_PreciseRevolutionDetachedRocheEffects)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The same pair with every effect and an eccentric orbit (e 0.1, omega 60): each phase's frame is
// the pair at that moment's separation, the Roche stars keeping their volume.
void BM_PreciseRevolutionDetachedRocheEffectsEccentric(benchmark::State& state) {
    render::SceneInputs in = withEffects(pair(0.5, 0.3, 0.22, 85, false));
    in.Orbit.eccentricity = 0.1;
    in.Orbit.omega = 60 * 3.141592653589793 / 180;
    preciseRevolution(state, in);
}
BENCHMARK(BM_PreciseRevolutionDetachedRocheEffectsEccentric)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_PreciseRevolutionClosePair(benchmark::State& state) { preciseRevolution(state, pair(1, 0.33, 0.30, 80, false)); }
BENCHMARK(BM_PreciseRevolutionClosePair)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_PreciseRevolutionContact(benchmark::State& state) {
    preciseRevolution(state, pair(1, 0.37, roche::RecommendedRadius2(1, 0.37), 80, true));
}
BENCHMARK(BM_PreciseRevolutionContact)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// A 4 x 4 grid search of a detached pair against a 200-point observed curve on one thread, in each
// photometry: the time per grid cell.
void gridSearch(benchmark::State& state, const char* photometry) {
    const auto folder = std::filesystem::temp_directory_path() / ("corvane-bench-grid-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    {
        std::ofstream out(folder / "obs.csv");
        for (int k = 0; k < 200; ++k) {
            out << k / 200.0 << "," << 12 + 0.5 * std::pow(std::cos(Pi * k / 200.0), 8) << "\n";
        }
    }
    platform::ScriptedDialogs dialogs;
    app::CorvaneForm form(dialogs);
    form.AppFolder = folder;
    form.setPictureSize(800, 500);
    form.Form_Load();
    for (const auto& [name, text] : {std::pair{"Qratio", "1"}, std::pair{"txtIota", "82"}, std::pair{"txtRadius1", "0.25"},
                                     std::pair{"txtRadius2", "0.2"}, std::pair{"txtN1", "10"}}) {
        form.typeText(name, text);
    }
    form.chooseItem("cmbFilter", "R");
    form.chooseItem("cmbPhotometry", photometry);
    form.txtLCName.Text = (folder / "obs.csv").string();
    form.cmdLoadLight_Click();
    form.cmbParameter.select("Inclination");
    form.cmbParameter2.select("Mass Ratio");
    form.txtInitial.Text = "78";
    form.txtFinal.Text = "86";
    form.txtSteps.Text = "4";
    form.txtInitial2.Text = "0.8";
    form.txtFinal2.Text = "1.2";
    form.txtSteps2.Text = "4";
    double seconds = 0;
    int runs = 0;
    for (auto _ : state) {
        std::atomic<bool> cancel{false};
        std::string why;
        const auto start = std::chrono::steady_clock::now();
        const auto file = form.runGridSearch(1, {}, cancel, why, folder / "grid");
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ++runs;
        benchmark::DoNotOptimize(file);
        std::filesystem::remove(file);
    }
    state.counters["cell_ms"] = seconds / runs / 16 * 1e3;
    std::filesystem::remove_all(folder);
}

void BM_GridSearchPixels(benchmark::State& state) { gridSearch(state, "Pixels"); }
BENCHMARK(BM_GridSearchPixels)->Unit(benchmark::kMillisecond)->MinTime(3.0);

void BM_GridSearchPrecise(benchmark::State& state) { gridSearch(state, "Precise"); }
BENCHMARK(BM_GridSearchPrecise)->Unit(benchmark::kMillisecond)->MinTime(3.0);

} // namespace
