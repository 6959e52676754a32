// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
// Whether the fit and the sampler can be believed: a synthetic eccentric detached pair observed in
// two bands (each with its own trend in time) and in both stars' velocities, with noise, fitted from
// a far start; then, over many noise draws, how often the sampler's 68% intervals hold the truth.
// Long (minutes a draw): run by hand, not by make bench or CI.
//   corvane-coverage [DRAWS [STEPS]]      (default 20 draws of 32 walkers by 600 steps)
#include "app/CorvaneForm.h"
#include "fitting/Evaluate.h"
#include "platform/Dialogs.h"
#include "support/ModelSeries.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace corvane;
namespace fs = std::filesystem;

constexpr double kPeriod = 3.2, kEpoch = 2459002.1;

struct Truth {
    const char* box;
    const char* name;
    double value, start;
};
// The system, and where the fit starts: 4 degrees, 0.15 in q and 20% in the radii away.
const Truth kTruth[] = {
    {"txtIota", "Inclination", 87, 83},           {"Qratio", "Mass Ratio", 0.8, 0.65},
    {"txtRadius1", "Pole Radius #1", 0.15, 0.18}, {"txtRadius2", "Pole Radius #2", 0.11, 0.09},
    {"txtTemp2", "Temperature #2", 4800, 5200},   {"txtECosOmega", "e cos(omega)", 0.05, 0},
    {"txtESinOmega", "e sin(omega)", 0.0866, 0},  {"txtSemiMajorAxis", "Semi-major Axis", 10, 9},
};

void setTruth(app::CorvaneForm& f) {
    testing::setSystem(f, {{"txtTemp1", "6000"}, {"txtEccentricity", "0.1"}, {"txtOmega", "60"}});
    for (const Truth& t : kTruth) {
        if (std::string(t.box) != "txtECosOmega" && std::string(t.box) != "txtESinOmega") {
            f.typeText(t.box, std::to_string(t.value));
        }
    }
    f.typeText("txtPeriod", std::to_string(kPeriod));
    f.typeText("txtEpoch", std::to_string(kEpoch));
    f.Refresh_Click();
}

// The observations of one draw in dir: V and I with different trends, and both velocity curves.
void observe(app::CorvaneForm& f, const fs::path& dir, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> when(kEpoch - 2, kEpoch + 28);
    for (const auto& [band, file] : {std::pair{"Johnson V", "V.csv"}, std::pair{"Cousins I", "I.csv"}}) {
        f.chooseItem("cmbPassband", band);
        f.Refresh_Click();
        std::vector<double> times(500);
        for (double& t : times) {
            t = when(rng);
        }
        testing::ModelSeries s = testing::observeModel(f, times, kPeriod, kEpoch, 0.002, rng());
        for (std::size_t i = 0; i < times.size(); ++i) {
            const double d = (times[i] - kEpoch) / 30;
            s.mag[i] += std::string(file) == "V.csv" ? 0.02 * d : -0.01 * d + 0.03 * d * d;
        }
        testing::writeSeries((dir / file).string(), s, 0.002);
    }
    f.chooseItem("cmbPassband", "Johnson V");
    f.Refresh_Click();
    std::normal_distribution<double> kms(0, 1);
    for (const int star : {1, 2}) {
        std::ofstream out(dir / ("rv" + std::to_string(star) + ".txt"));
        out << "phase rv" << star << " e_rv\n";
        for (int k = 0; k < 24; ++k) {
            const double phase = (k + 0.3) / 24;
            const roche::PairVelocity v = f.velocityAt(phase);
            out << phase << ' ' << (star == 1 ? v.v1 : v.v2) + kms(rng) << " 1\n";
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    const int draws = argc > 1 ? std::atoi(argv[1]) : 20;
    const int steps = argc > 2 ? std::atoi(argv[2]) : 600;
    const fs::path dir = fs::temp_directory_path() / ("corvane-coverage-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::vector<int> inside(std::size(kTruth), 0), fitInside(std::size(kTruth), 0);
    int done = 0;
    for (int draw = 0; draw < draws; ++draw) {
        const auto began = std::chrono::steady_clock::now();
        platform::ScriptedDialogs dialogs;
        app::CorvaneForm f(dialogs);
        f.setPictureSize(400, 250);
        f.Form_Load();
        setTruth(f);
        observe(f, dir, 100 + static_cast<unsigned>(draw));
        for (const Truth& t : kTruth) {
            if (std::string(t.box) != "txtECosOmega" && std::string(t.box) != "txtESinOmega") {
                f.typeText(t.box, std::to_string(t.start));
            }
        }
        f.typeText("txtEccentricity", "0");
        f.txtLCName.Text = (dir / "V.csv").string();
        f.ObsTimed.degree = 2;
        if (!f.readObservedCurve() || !f.addLightCurve((dir / "I.csv").string(), "Cousins I", 0, 2).empty() ||
            !f.loadVelocities(1, (dir / "rv1.txt").string()).empty() ||
            !f.loadVelocities(2, (dir / "rv2.txt").string()).empty()) {
            std::fprintf(stderr, "draw %d: the observations could not be loaded: %s\n", draw, f.LastLoadProblems.c_str());
            return 1;
        }
        f.FitFree.clear();
        for (const Truth& t : kTruth) {
            f.FitFree.emplace_back(t.name);
        }
        app::CorvaneForm::McmcRequest request;
        request.walkers = 32;
        request.steps = steps;
        request.seed = static_cast<std::uint64_t>(draw + 1);
        app::CorvaneForm::McmcOutcome outcome;
        std::string why;
        std::atomic<bool> cancel{false};
        if (!f.runMcmc(request, fitting::defaultThreads(), {}, cancel, outcome, why)) {
            std::fprintf(stderr, "draw %d: %s\n", draw, why.c_str());
            return 1;
        }
        ++done;
        std::printf("draw %d (%.0f s):", draw,
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count());
        for (std::size_t j = 0; j < outcome.names.size() && j < std::size(kTruth); ++j) {
            const fitting::Interval& i = outcome.intervals[j];
            const bool in = kTruth[j].value >= i.low && kTruth[j].value <= i.high;
            inside[j] += in ? 1 : 0;
            std::printf(" %s %.5g [%.5g, %.5g]%s", kTruth[j].name, i.median, i.low, i.high, in ? "" : " (out)");
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    std::printf("\nThe 68%% intervals held the truth (expected about 68%% of %d draws):\n", done);
    for (std::size_t j = 0; j < std::size(kTruth); ++j) {
        std::printf("  %-16s %d of %d (%.0f%%)\n", kTruth[j].name, inside[j], done, done > 0 ? 100.0 * inside[j] / done : 0.0);
    }
    fs::remove_all(dir);
    return 0;
}
