// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include "app/CorvaneForm.h"
#include "precise/PreciseLight.h"

#include <cmath>
#include <fstream>
#include <random>
#include <string>
#include <vector>

// Time series made from the program's own light curves: the form's system integrated over its
// surfaces (4000 phases, interpolated), observed at the given times with Gaussian noise.

namespace corvane::testing {

struct ModelSeries {
    std::vector<double> t, mag;
};

// The magnitude of the form's system (compared channel) at each time, primary minimum at `epoch`,
// plus `level` and noise of `sigma` mag.
inline ModelSeries observeModel(const app::CorvaneForm& form, const std::vector<double>& times, double period,
                                double epoch, double sigma, unsigned seed, double level = 10) {
    constexpr double TwoPi = 2 * 3.14159265358979323846;
    constexpr int phases = 4000;
    std::vector<double> etas;
    for (int k = 0; k <= phases; ++k) {
        etas.push_back(TwoPi * (static_cast<double>(k) / phases + 0.25)); // phase 0: primary minimum
    }
    const auto light = precise::PreciseLight(form.sceneInputs()).curve(etas);
    const auto channel = static_cast<std::size_t>(form.comparedChannel());
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0, sigma);
    ModelSeries s;
    for (const double time : times) {
        const double cycles = (time - epoch) / period;
        const double x = (cycles - std::floor(cycles)) * phases;
        const auto k = std::min(static_cast<std::size_t>(x), static_cast<std::size_t>(phases - 1));
        const double a = x - static_cast<double>(k);
        const double l = light[k][channel] * (1 - a) + light[k + 1][channel] * a;
        s.t.push_back(time);
        s.mag.push_back(level - 2.5 * std::log10(l) + noise(rng));
    }
    return s;
}

// Times every `cadence` days over [start, start + days), less a gap of `gapDays` in the middle (a
// space telescope's downlink).
inline std::vector<double> stretchTimes(double start, double days, double cadence, double gapDays = 0) {
    std::vector<double> t;
    for (double x = start; x < start + days; x += cadence) {
        if (std::fabs(x - (start + days / 2)) >= gapDays / 2) {
            t.push_back(x);
        }
    }
    return t;
}

inline void writeSeries(const std::string& file, const ModelSeries& s, double sigma) {
    std::ofstream out(file);
    out.precision(15);
    out << "BJD,mag,err\n";
    for (std::size_t i = 0; i < s.t.size(); ++i) {
        out << s.t[i] << ',' << s.mag[i] << ',' << sigma << '\n';
    }
}

// The form with the given system typed in, precise photometry and luminance.
inline void setSystem(app::CorvaneForm& form, const std::vector<std::pair<std::string, std::string>>& values) {
    form.chooseItem("cmbPhotometry", "Precise");
    form.chooseItem("cmbFilter", "L");
    for (const auto& [name, value] : values) {
        form.typeText(name, value);
    }
}

} // namespace corvane::testing
