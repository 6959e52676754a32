// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "CorvaneForm.h"
#include "RobustStatistics.h"

#include "fitting/Fit.h"
#include "platform/NumberFormat.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <span>
#include <vector>

// What a fit checks of its own result: outliers to leave out (sigma clipping), and whether the model
// it reached describes the data (the reduced chi-square, the depths of the eclipses).

namespace corvane::app {

using platform::GeneralNumber;

namespace {

double wrapped(double phase) { return phase - std::round(phase); }

// Observed minus model (magnitudes, the zero point taken off) at the points that count: slot, residual.
struct Residuals {
    std::vector<int> slot;
    std::vector<double> value, error, phase, model;
};

} // namespace

int CorvaneForm::clippedCount() const {
    int n = 0;
    for (int i = 1; i <= Curve.ObsCount; ++i) {
        n += ObsClipped[static_cast<std::size_t>(i)] != 0 ? 1 : 0;
    }
    return n;
}

namespace {

Residuals residualsOf(const CorvaneForm& f) {
    Residuals r;
    const auto chi = f.ObsHasErrors ? f.chiSquareAtObs() : f.residualsAtObs();
    if (!chi) {
        return r;
    }
    const auto n = static_cast<std::size_t>(std::max<int>(f.Curve.ObsCount, 0));
    const std::vector<double> model = fitting::lightToMagnitudes(std::span(f.ModelLightAtObs).subspan(1, n));
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t i = k + 1;
        const double error = f.ObsHasErrors ? f.ObsError[i] : 1.0;
        const double d = f.Curve.ObsRaw[i] - model[k] - chi->zeroPoint;
        if (f.ObsClipped[i] != 0 || !(error > 0) || !std::isfinite(d)) {
            continue;
        }
        r.slot.push_back(static_cast<int>(i));
        r.value.push_back(d);
        r.error.push_back(error);
        r.phase.push_back(f.Curve.ObsPhase[i] + f.observedPhaseShift());
        r.model.push_back(model[k]);
    }
    return r;
}

} // namespace

int CorvaneForm::clipOutliers(double sigma) {
    const Residuals r = residualsOf(*this);
    if (!(sigma > 0)) {
        return 0;
    }
    std::vector<double> z(r.value.size());
    for (std::size_t k = 0; k < z.size(); ++k) {
        z[k] = r.value[k] / r.error[k];
    }
    const double centre = median(z);
    const double spread = z.size() >= 10 ? robustSigma(z, centre) : 0.0;
    int added = 0;
    for (std::size_t k = 0; spread > 0 && k < z.size(); ++k) {
        if (std::abs(z[k] - centre) > sigma * spread) {
            ObsClipped[static_cast<std::size_t>(r.slot[k])] = 1;
            ++added;
        }
    }
    // The other light curves, each against its own model and zero point.
    for (LightSet& set : ExtraLight) {
        const auto chi = lightSetChiSquare(set);
        if (!chi) {
            continue;
        }
        const std::vector<double> model = fitting::lightToMagnitudes(lightSetModel(set));
        std::vector<double> zs;
        std::vector<std::size_t> at;
        for (std::size_t k = 0; k < set.mag.size(); ++k) {
            const double error = set.hasErrors ? set.error[k] : 1.0;
            const double d = set.mag[k] - model[k] - chi->zeroPoint;
            if (set.clipped[k] == 0 && error > 0 && std::isfinite(d)) {
                zs.push_back(d / error);
                at.push_back(k);
            }
        }
        if (zs.size() < 10) {
            continue;
        }
        const double c = median(zs), w = robustSigma(zs, c);
        for (std::size_t j = 0; w > 0 && j < zs.size(); ++j) {
            if (std::abs(zs[j] - c) > sigma * w) {
                set.clipped[at[j]] = 1;
                ++added;
            }
        }
    }
    return added;
}

std::vector<std::string> CorvaneForm::fitWarnings(double reducedChiSquare) const {
    std::vector<std::string> out;
    if (ObsHasErrors && reducedChiSquare > 2) {
        out.push_back("Warning: the reduced chi-square is " + GeneralNumber(std::round(reducedChiSquare * 100) / 100) +
                      ", above 2: the model does not describe the observations within their errors (a false "
                      "minimum, or effects the model leaves out).");
    }
    const Residuals r = residualsOf(*this);
    if (r.value.size() < 10) {
        return out;
    }
    const double noise = robustSigma(r.value, median(r.value));
    const double brightest = *std::min_element(r.model.begin(), r.model.end());
    bool depthWarned = false;
    auto say = [&](const std::string& which, double miss) {
        depthWarned = true;
        out.push_back("Warning: the model misses the depth of the " + which + " by " +
                      GeneralNumber(std::round(std::abs(miss) * 1e4) / 1e4) + " mag (the observations are " +
                      (miss > 0 ? "deeper" : "shallower") + "; the residuals' noise is " +
                      GeneralNumber(std::round(noise * 1e5) / 1e5) + " mag).");
    };
    // The model's eclipses: its faintest point, then the faintest at least 0.15 of a phase from it.
    // Each is judged by the mean residual of the points within a tenth of its depth of its bottom.
    double primaryPhase = 0;
    for (int eclipse = 0; eclipse < 2; ++eclipse) {
        int deepest = -1;
        for (std::size_t k = 0; k < r.model.size(); ++k) {
            if (eclipse == 1 && std::abs(wrapped(r.phase[k] - primaryPhase)) < 0.15) {
                continue;
            }
            if (deepest < 0 || r.model[k] > r.model[static_cast<std::size_t>(deepest)]) {
                deepest = static_cast<int>(k);
            }
        }
        if (deepest < 0) {
            break;
        }
        const double bottom = r.model[static_cast<std::size_t>(deepest)];
        const double centre = r.phase[static_cast<std::size_t>(deepest)];
        if (eclipse == 0) {
            primaryPhase = centre;
        }
        const double depth = bottom - brightest;
        if (!(depth > 3 * noise)) {
            continue;
        }
        double sum = 0;
        int count = 0;
        for (std::size_t k = 0; k < r.model.size(); ++k) {
            if (std::abs(wrapped(r.phase[k] - centre)) < 0.15 && r.model[k] >= bottom - 0.1 * depth) {
                sum += r.value[k];
                ++count;
            }
        }
        if (count >= 3 && std::abs(sum / count) > 3 * noise) {
            say(eclipse == 0 ? "model's deeper eclipse" : "model's other eclipse", sum / count);
        }
    }
    // The observations' own deepest stretch: the faintest median of 200 bins in phase (three points at
    // least), against the model there.
    std::map<int, std::vector<std::size_t>> bins;
    for (std::size_t k = 0; k < r.phase.size(); ++k) {
        const double p = r.phase[k] - std::floor(r.phase[k]);
        bins[std::min(199, static_cast<int>(p * 200))].push_back(k);
    }
    double faintest = -1e300, miss = 0;
    for (const auto& [bin, points] : bins) {
        if (points.size() < 3) {
            continue;
        }
        std::vector<double> observed, residual;
        for (const std::size_t k : points) {
            observed.push_back(r.value[k] + r.model[k]);
            residual.push_back(r.value[k]);
        }
        if (const double m = median(observed); m > faintest) {
            faintest = m;
            miss = median(residual);
        }
    }
    if (faintest > -1e300 && std::abs(miss) > 3 * noise && !depthWarned) {
        say("observations' deepest eclipse", miss);
    }
    return out;
}

} // namespace corvane::app
