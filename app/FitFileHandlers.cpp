// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "CorvaneForm.h"

#include "FitProblem.h"
#include "platform/NumberFormat.h"

#include <algorithm>
#include <cmath>

// A fit file into the form and back: the settings as --set gives them, the observation files, and
// each parameter's start, free flag, bounds and prior.

namespace corvane::app {

using platform::GeneralNumber;
using platform::Val;

namespace {

// What a fit file records of the form, in the order it applies them: the choices, the switches, then
// the boxes (so that, say, "Tidal Effects" is set before the radii it changes). The view, the
// animation, the grid's ranges and the file names are not part of a fit.
constexpr const char* kCombos[] = {"cmbPhotometry", "cmbPassband", "cmbLimbLaw", "cmbFilter", "cmbStarSpot1"};
constexpr const char* kSwitches[] = {"chkSpherical", "chkNeck",  "chkStefan",     "chkSimAreas", "chkMag",
                                     "chkGran",      "TwoStarsCheck", "chkSpot1", "chkError",    "chkLightTime",
                                     "chkAuto"};
constexpr const char* kDrawing[] = {"chkPaint", "chkGrid", "chkDots"};
constexpr const char* kBoxes[] = {
    "Qratio",       "txtIota",      "txtN1",          "txtRadius1",  "txtRadius2",     "txtLimb1",
    "txtLimb2",     "txtLimb1b",    "txtLimb2b",      "txtTemp1",    "txtTemp2",       "txtGamma",
    "txtRotPer",    "txtZoom",      "txtTempSpot1",   "txtSpotLat1", "txtSpotLon1",    "txtRadSpot1",
    "txtGravity1",  "txtGravity2",  "txtAlbedo1",     "txtAlbedo2",  "txtThirdLight",  "txtEccentricity",
    "txtOmega",     "txtApsidal",   "txtGammaVelocity", "txtSemiMajorAxis", "txtVsini1", "txtVsini2",
    "txtLambda1",   "txtLambda2",   "txtPhaseShift"};

} // namespace

fitting::FitFile CorvaneForm::currentFitFile() const {
    fitting::FitFile fit;
    for (const char* name : kCombos) {
        for (const auto& c : comboControls()) {
            if (std::string(c.name) == name) {
                fit.settings.emplace_back(name, (this->*(c.box)).Text);
            }
        }
    }
    for (const char* name : kSwitches) {
        for (const auto& c : switchControls()) {
            if (std::string(c.name) == name) {
                fit.settings.emplace_back(name, std::to_string((this->*(c.box)).Value));
            }
        }
    }
    for (const auto& c : optionControls()) {
        if (std::any_of(std::begin(kDrawing), std::end(kDrawing), [&](const char* n) { return std::string(n) == c.name; }) &&
            (this->*(c.button)).Value != 0) {
            fit.settings.emplace_back(c.name, "1");
        }
    }
    for (const char* name : kBoxes) {
        for (const auto& c : parameterControls()) {
            if (std::string(c.name) == name) {
                fit.settings.emplace_back(name, (this->*(c.box)).Text);
            }
        }
    }
    const double period = Val(txtPeriod.Text), epoch = Val(txtEpoch.Text);
    if (period > 0 && std::isfinite(period)) {
        fit.period = period;
        if (std::isfinite(epoch)) {
            fit.epoch = epoch;
        }
    }
    fit.clip = FitClipSigma;
    fit.method = FitMethod;
    fit.global = FitGlobal == "auto" ? std::string() : FitGlobal;
    if (Curve.ObsCount > 0 && !txtLCName.Text.empty()) {
        fitting::FitFileLight light;
        light.file = std::filesystem::absolute(txtLCName.Text);
        if (ExposureChosen && Val(txtExposure.Text) > 0) {
            light.exposure = Val(txtExposure.Text);
        }
        light.detrend = ObsTimed.degree;
        light.gap = ObsTimed.gap;
        fit.light.push_back(light);
    }
    for (const LightSet& set : ExtraLight) {
        fitting::FitFileLight more;
        more.file = std::filesystem::absolute(set.file);
        more.passband = set.passband;
        if (set.exposure > 0) {
            more.exposure = set.exposure;
        }
        more.detrend = set.timed.degree;
        more.gap = set.timed.gap;
        fit.light.push_back(more);
    }
    for (const VelocitySet& set : VelocitySets) {
        fit.velocities.push_back({std::filesystem::absolute(set.file), set.star});
    }
    // Every parameter that is free, bounded or has a prior, with its start.
    for (std::size_t k = 0; k < std::size(fitproblem::kFitNames); ++k) {
        const std::string caption = fitproblem::kFitNames[k];
        const bool free = std::find(FitFree.begin(), FitFree.end(), caption) != FitFree.end() ||
                          std::find(FitFree.begin(), FitFree.end(), fitproblem::kFitControls[k]) != FitFree.end();
        const auto bounds = FitBounds.find(caption);
        const auto prior = std::find_if(FitPriors.begin(), FitPriors.end(), [&](const FitPrior& p) { return p.name == caption; });
        if (!free && bounds == FitBounds.end() && prior == FitPriors.end()) {
            continue;
        }
        fitting::FitFileParameter p;
        p.name = fitproblem::kFitControls[k];
        p.free = free;
        const bool pair = static_cast<int>(k) == fitproblem::kECosOmega || static_cast<int>(k) == fitproblem::kESinOmega;
        const double v = pair ? priorQuantity(caption)
                                                                                  : Val(fitproblem::fitBox(*this, static_cast<int>(k)).Text);
        if (std::isfinite(v)) {
            p.value = v;
        }
        if (bounds != FitBounds.end()) {
            p.lower = bounds->second.first;
            p.upper = bounds->second.second;
        }
        if (prior != FitPriors.end()) {
            p.prior = std::pair{prior->value, prior->sigma};
        }
        fit.parameters.push_back(p);
    }
    for (const FitPrior& p : FitPriors) {
        if (fitParameterName(p.name).empty()) {
            fit.priors.emplace_back(p.name, std::pair{p.value, p.sigma});
        }
    }
    return fit;
}

std::string CorvaneForm::applyFitFile(const fitting::FitFile& fit) {
    if (fit.light.empty()) {
        return "the fit file names no light curve ([[light]] with its file)";
    }
    if (!(fit.clip == 0 || fit.clip >= 1) || !std::isfinite(fit.clip)) {
        return "fit.clip must be 0 (none) or a number of sigma from 1 up, not " + GeneralNumber(fit.clip);
    }
    // Everything is checked before anything changes.
    std::vector<std::string> free;
    std::vector<FitPrior> priors;
    std::map<std::string, std::pair<double, double>> bounds;
    std::optional<double> eCos, eSin;
    for (const fitting::FitFileParameter& p : fit.parameters) {
        const int k = fitproblem::fitIndex(p.name);
        if (k < 0) {
            return "'" + p.name + "' in [parameters] is not a fit parameter (a box's name such as txtIota, or a caption "
                   "such as Inclination)";
        }
        const std::string caption = fitproblem::kFitNames[k];
        const fitproblem::FitScale& s = fitproblem::kScales[k];
        const double lower = p.lower.value_or(s.lower), upper = p.upper.value_or(s.upper);
        if (lower < s.lower || upper > s.upper || !(lower < upper)) {
            return "the bounds of " + caption + " must lie within " + GeneralNumber(s.lower) + " to " +
                   GeneralNumber(s.upper) + ", lower below upper";
        }
        if (p.value && (*p.value < lower || *p.value > upper)) {
            return "the start of " + caption + ", " + GeneralNumber(*p.value) + ", lies outside its bounds";
        }
        if (p.lower || p.upper) {
            bounds[caption] = {lower, upper};
        }
        if (p.free) {
            free.push_back(caption);
        }
        if (p.prior) {
            priors.push_back({caption, p.prior->first, p.prior->second});
        }
        if (k == fitproblem::kECosOmega) {
            eCos = p.value;
        } else if (k == fitproblem::kESinOmega) {
            eSin = p.value;
        }
    }
    for (const auto& [name, prior] : fit.priors) {
        const std::string canonical = priorName(name);
        if (canonical.empty()) {
            return "'" + name + "' in [priors] is not a quantity a prior can take (a fit parameter, k, r1+r2 or Light Ratio)";
        }
        priors.push_back({canonical, prior.first, prior.second});
    }

    for (const auto& [name, value] : fit.settings) {
        if (name == "chkSave" || name == "chkBMP" || name == "txtLCName" || name == "txtPeriod" || name == "txtEpoch" ||
            name == "txtExposure") {
            return "the setting " + name + " is not part of a fit's settings (the files and the ephemeris have "
                   "their own places: [[light]], [fit])";
        }
        if (const std::string problem = applySetting(name, value); !problem.empty()) {
            return "[settings]: " + problem;
        }
    }
    for (const fitting::FitFileParameter& p : fit.parameters) {
        const int k = fitproblem::fitIndex(p.name);
        if (p.value && k != fitproblem::kECosOmega && k != fitproblem::kESinOmega) {
            typeText(fitproblem::kFitControls[k], GeneralNumber(*p.value));
        }
    }
    if (eCos || eSin) {
        const double c = eCos.value_or(priorQuantity("e cos(omega)")), s = eSin.value_or(priorQuantity("e sin(omega)"));
        typeText("txtEccentricity", GeneralNumber(std::hypot(c, s)));
        typeText("txtOmega", GeneralNumber(std::atan2(s, c) * 180 / Pi));
    }
    txtPeriod.Text = fit.period ? GeneralNumber(*fit.period) : std::string("0");
    txtEpoch.Text = fit.epoch ? GeneralNumber(*fit.epoch) : std::string("0");
    const fitting::FitFileLight& light = fit.light.front();
    if (!light.passband.empty() && !chooseItem("cmbPassband", light.passband)) {
        return "no passband is called '" + light.passband + "'";
    }
    txtExposure.Text = GeneralNumber(light.exposure.value_or(0));
    ExposureChosen = light.exposure.has_value();
    txtLCName.Text = light.file.string();
    ObsTimed.degree = light.detrend;
    ObsTimed.gap = light.gap;
    if (!readObservedCurve()) {
        return LastLoadProblems;
    }
    ExtraLight.clear();
    for (std::size_t k = 1; k < fit.light.size(); ++k) {
        const fitting::FitFileLight& more = fit.light[k];
        if (const std::string problem = addLightCurve(more.file.string(), more.passband, more.exposure.value_or(0),
                                                                 more.detrend, more.gap);
            !problem.empty()) {
            return problem;
        }
    }
    VelocitySets.clear();
    for (const fitting::FitFileVelocities& v : fit.velocities) {
        if (const std::string problem = loadVelocities(v.star, v.file.string()); !problem.empty()) {
            return problem;
        }
    }
    FitFree = free;
    FitPriors = priors;
    FitBounds = bounds;
    FitClipSigma = fit.clip;
    FitMethod = fit.method.empty() ? std::string("lm") : fit.method;
    FitGlobal = fit.global.empty() ? std::string("auto") : fit.global;
    Refresh_Click();
    return {};
}

} // namespace corvane::app
