// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
// The posterior's cost: the ensemble sampler on a detached pair in precise photometry; and how the
// model evaluations of a grid search scale over MPI processes.
#include "app/CorvaneForm.h"
#include "platform/Dialogs.h"
#include "support/ModelSeries.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

using namespace corvane;

constexpr double kPeriod = 2.4731, kEpoch = 2459001.3;

// 400 times over 30 days of the detached pair (q 0.6, i 84, r 0.3 and 0.24, 6500 K and 5000 K)
// with 0.002 mag of noise, in a temporary file; the form is left with that system, precise.
std::filesystem::path detachedSeries(app::CorvaneForm& form) {
    form.setPictureSize(400, 250);
    form.Form_Load();
    testing::setSystem(form, {{"Qratio", "0.6"}, {"txtIota", "84"}, {"txtRadius1", "0.3"}, {"txtRadius2", "0.24"},
                              {"txtTemp1", "6500"}, {"txtTemp2", "5000"}});
    std::vector<double> times;
    for (int k = 0; k < 400; ++k) {
        times.push_back(kEpoch - 1 + 30.0 * (k + 0.37) / 400);
    }
    const auto file =
        std::filesystem::temp_directory_path() / ("corvane-bench-mcmc-" + std::to_string(::getpid()) + ".csv");
    testing::writeSeries(file.string(), testing::observeModel(form, times, kPeriod, kEpoch, 0.002, 11), 0.002);
    return file;
}

// 32 walkers over inclination and mass ratio for `steps` steps (the fit first), on every core.
void sample(benchmark::State& state, int steps) {
    platform::ScriptedDialogs dialogs;
    app::CorvaneForm form(dialogs);
    const auto file = detachedSeries(form);
    form.typeText("txtPeriod", std::to_string(kPeriod));
    form.typeText("txtEpoch", std::to_string(kEpoch));
    form.txtLCName.Text = file.string();
    if (!form.readObservedCurve()) {
        state.SkipWithError(form.LastLoadProblems.c_str());
        return;
    }
    form.typeText("Qratio", "0.55");
    form.FitFree = {"Inclination", "Mass Ratio"};
    app::CorvaneForm::McmcRequest request;
    request.walkers = 32;
    request.steps = steps;
    const int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    app::CorvaneForm::McmcOutcome outcome;
    for (auto _ : state) {
        std::atomic<bool> cancel{false};
        std::string why;
        app::CorvaneForm copy = form;
        if (!copy.runMcmc(request, threads, [](const std::string&) {}, cancel, outcome, why)) {
            state.SkipWithError(why.c_str());
            break;
        }
    }
    std::filesystem::remove(file);
    state.counters["evaluations"] = 32.0 * steps;
    state.counters["acceptance"] = outcome.acceptance;
    state.counters["threads"] = threads;
}

void BM_Mcmc32WalkersBy2000Steps(benchmark::State& state) { sample(state, 2000); }
BENCHMARK(BM_Mcmc32WalkersBy2000Steps)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

void BM_Mcmc32WalkersBy100Steps(benchmark::State& state) { sample(state, 100); }
BENCHMARK(BM_Mcmc32WalkersBy100Steps)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

#ifdef CORVANE_MPIEXEC
// The batch tool's 20 x 20 precise grid on the detached series, under mpirun with 1 and with 2
// processes of one thread each: the wall-clock times and the speed-up.
double gridSeconds(const std::filesystem::path& series, const std::filesystem::path& folder, int processes) {
    const std::string command =
        "OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 " CORVANE_MPIEXEC " -np " +
        std::to_string(processes) + " --oversubscribe " CORVANE_CLI_PROGRAM
        " --set cmbPhotometry=Precise --set cmbFilter=L --set txtRadius1=0.3 --set txtRadius2=0.24 "
        "--set txtTemp1=6500 --set txtTemp2=5000 --size 400x250 grid --observed '" +
        series.string() + "' --period 2.4731 --epoch 2459001.3 --p1 Inclination --from 82 --to 86 --steps 20 "
        "--p2 'Mass Ratio' --from2 0.5 --to2 0.7 --steps2 20 --threads 1 --out '" +
        folder.string() + "' > /dev/null 2>&1";
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) {
        return NAN;
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_GridOverMpiProcesses(benchmark::State& state) {
    platform::ScriptedDialogs dialogs;
    app::CorvaneForm form(dialogs);
    const auto series = detachedSeries(form);
    const auto folder = std::filesystem::temp_directory_path() / ("corvane-bench-grid-" + std::to_string(::getpid()));
    double one = 0, two = 0;
    for (auto _ : state) {
        one = gridSeconds(series, folder, 1);
        two = gridSeconds(series, folder, 2);
    }
    std::filesystem::remove(series);
    std::filesystem::remove_all(folder);
    if (!(one > 0 && two > 0)) {
        state.SkipWithError("mpirun did not run the batch tool");
        return;
    }
    state.counters["1 process s"] = one;
    state.counters["2 processes s"] = two;
    state.counters["speed-up"] = one / two;
}
BENCHMARK(BM_GridOverMpiProcesses)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
#endif

} // namespace
