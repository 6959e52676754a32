// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "CorvaneForm.h"

#include "fitting/Exposure.h"
#include "fitting/Observations.h"
#include "platform/NumberFormat.h"
#include "platform/TextFile.h"
#include "precise/PreciseLight.h"
#include "roche/Constants.h"

#include <cmath>

// The light curves a fit takes beside the loaded one: two sectors, or B and V, in one chi-square.
// Each is computed in its own band by the Precise photometry at its own phases.

namespace corvane::app {

using platform::GeneralNumber;
using platform::Val;

std::string CorvaneForm::addLightCurve(const std::string& path, const std::string& passband, double exposureSeconds,
                                       int detrend, double gapDays) {
    auto refuse = [&](const std::string& why) { return "The light curve " + path + " cannot be added: " + why; };
    if (const std::string problem = platform::regularFileProblem(path); !problem.empty()) {
        return refuse(problem + ".");
    }
    if (!(exposureSeconds >= 0) || !std::isfinite(exposureSeconds)) {
        return refuse("its exposure must be 0 or more seconds.");
    }
    fitting::Observations obs = fitting::readObservations(path);
    if (!obs.ok()) {
        return refuse(obs.problem);
    }
    const double period = Val(txtPeriod.Text), epoch = Val(txtEpoch.Text);
    if (obs.abscissa == fitting::Abscissa::Time) {
        if (!(period > 0) || !std::isfinite(period) || !std::isfinite(epoch)) {
            return refuse("it holds times; give the period and the epoch of primary minimum first.");
        }
    }
    fitting::toMagnitudes(obs);
    if (obs.size() == 0) {
        return refuse("no flux in it is positive, so none can be a magnitude.");
    }
    if (exposureSeconds > 0 && !(period > 0)) {
        return refuse("an exposure needs the period.");
    }
    if (detrend >= 0 && obs.abscissa != fitting::Abscissa::Time) {
        return refuse("it holds phases, and a trend is fitted in time.");
    }
    TimedLight kept = foldKeepingPoints(obs, period, epoch);
    kept.degree = detrend;
    kept.gap = gapDays;
    const std::size_t before = fitting::binInPhase(obs, static_cast<std::size_t>(lightcurve::MaxPoint));
    LightSet set;
    set.file = path;
    set.passband = !passband.empty() ? passband : obs.band;
    set.exposure = exposureSeconds;
    set.phase = obs.x;
    set.mag = obs.value;
    set.hasErrors = obs.hasErrors();
    set.error = set.hasErrors ? obs.error : std::vector<double>(obs.size(), 0.0);
    set.clipped.assign(obs.size(), 0);
    set.description = fitting::describe(obs, before, period, epoch);
    set.timed = std::move(kept);
    ExtraLight.push_back(std::move(set));
    return {};
}

std::vector<double> CorvaneForm::lightSetModel(const LightSet& set) const {
    render::SceneInputs in = sceneInputs();
    if (!set.passband.empty()) {
        in.Light.passband = set.passband;
    }
    const precise::PreciseLight model(in);
    const auto channel = static_cast<std::size_t>(comparedChannel());
    const double shift = observedPhaseShift();
    std::vector<double> phases;
    phases.reserve(set.phase.size());
    for (const double p : set.phase) {
        phases.push_back(p + shift + 0.25);
    }
    auto lightsAt = [&](const std::vector<double>& at) {
        std::vector<double> etas;
        etas.reserve(at.size());
        for (const double p : at) {
            etas.push_back(TwoPi * p);
        }
        std::vector<double> out;
        for (const precise::Channels& c : model.curve(etas)) {
            out.push_back(c[channel]);
        }
        return out;
    };
    const double period = Val(txtPeriod.Text);
    const double width = set.exposure > 0 && period > 0 ? std::min(0.5, set.exposure / (period * 86400)) : 0.0;
    return width > 0 ? fitting::averageOverExposure(phases, width, ExposureTolerance, lightsAt).light : lightsAt(phases);
}

std::optional<fitting::ChiSquare> CorvaneForm::lightSetChiSquare(const LightSet& set) const {
    const std::vector<double> model = fitting::lightToMagnitudes(lightSetModel(set));
    std::vector<double> error = set.hasErrors ? set.error : std::vector<double>(set.mag.size(), 1.0);
    for (std::size_t k = 0; k < error.size(); ++k) {
        error[k] = set.clipped[k] != 0 ? 0.0 : error[k];
    }
    return fitting::chiSquare(set.mag, error, model);
}

std::string CorvaneForm::lightSetsReport() const {
    std::string text;
    int n = 2;
    for (const LightSet& set : ExtraLight) {
        int clipped = 0;
        for (const unsigned char c : set.clipped) {
            clipped += c != 0 ? 1 : 0;
        }
        const auto chi = lightSetChiSquare(set);
        text += "Light curve " + std::to_string(n++) + " (" + set.file + ", " +
                (set.passband.empty() ? std::string("the settings' band") : set.passband) + "): " +
                std::to_string(set.mag.size()) + " points" +
                (clipped > 0 ? ", " + std::to_string(clipped) + " clipped" : std::string()) +
                (chi ? ", chi-square per point " + GeneralNumber(std::round(chi->perPoint() * 1e4) / 1e4) + ", zero point " +
                           GeneralNumber(std::round(chi->zeroPoint * 1e5) / 1e5) + " mag"
                     : std::string(", no chi-square")) +
                "\r\n";
    }
    return text;
}

} // namespace corvane::app
