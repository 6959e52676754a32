// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include "CorvaneForm.h"
#include "platform/Dialogs.h"
#include "platform/NumberFormat.h"
#include "roche/Constants.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the fit and the posterior share: the parameters that can be freed, their boxes and clamps,
// and the model at one parameter vector on a copy of the form.

namespace corvane::app::fitproblem {

inline constexpr const char* kFitNames[] = {"Inclination",       "Mass Ratio",        "Pole Radius #1",
                                            "Pole Radius #2",    "Temperature #1",    "Temperature #2",
                                            "Limb Darkening #1", "Limb Darkening #2", "Phase Shift",
                                            "Third Light",       "Eccentricity",      "Periastron",
                                            "Semi-major Axis",   "Systemic Velocity", "e cos(omega)",
                                            "e sin(omega)",      "v sin i #1",        "v sin i #2",
                                            "Spin-Orbit Angle #1", "Spin-Orbit Angle #2"};

// The box's clamp, the simplex's first step, the curvature's difference step and the rounding of the
// value written back, per parameter (by index into kFitNames).
struct FitScale {
    double lower, upper, step, relativeStep, difference, rounding;
};
inline constexpr FitScale kScales[] = {
    {0, 90, 2, 0, 0.1, 1e-4},              // inclination, degrees
    {0.001, 1000, 0.05, 0.1, 0.005, 1e-5}, // mass ratio: 10 % of the value, at least 0.05
    {0.01, 0.99, 0.02, 0, 0.001, 1e-5},    // pole radii, separations
    {0.01, 0.99, 0.02, 0, 0.001, 1e-5},
    {1, 100000, 100, 0.05, 5, 0.1}, // temperatures, kelvin: 5 % of the value, at least 100 K
    {1, 100000, 100, 0.05, 5, 0.1},
    {0, 1, 0.1, 0, 0.005, 1e-4}, // limb darkening
    {0, 1, 0.1, 0, 0.005, 1e-4},
    {-0.5, 0.5, 0.01, 0, 0.0005, 1e-5}, // phase shift, revolutions
    {0, 0.99, 0.05, 0, 0.002, 1e-5},    // third light, a fraction of the light at quadrature
    {0, 0.95, 0.02, 0, 0.001, 1e-5},    // eccentricity
    {-360, 720, 10, 0, 0.2, 1e-3},      // argument of periastron, degrees
    {0, 100000, 0.5, 0.05, 0.01, 1e-4}, // semi-major axis, solar radii: 5 % of the value, at least 0.5
    {-1000, 1000, 2, 0, 0.05, 1e-3},    // systemic velocity, km/s
    {-0.95, 0.95, 0.01, 0, 0.0005, 1e-6}, // e cos(omega), e sin(omega): the better-conditioned pair
    {-0.95, 0.95, 0.01, 0, 0.0005, 1e-6},
    {0, 10000, 2, 0.05, 0.05, 1e-3}, // v sin i, km/s: 5 % of the value, at least 2
    {0, 10000, 2, 0.05, 0.05, 1e-3},
    {-360, 720, 10, 0, 0.2, 1e-3},   // spin-orbit angles, degrees
    {-360, 720, 10, 0, 0.2, 1e-3},
};
static_assert(std::size(kFitNames) == std::size(kScales), "a scale for every parameter");

// The box the global search covers around each start: start +- max(absolute, relative |start|),
// inside the parameter's bounds.
struct SearchSpan {
    double absolute, relative;
};
inline constexpr SearchSpan kSearchSpans[] = {
    {15, 0},    {0.3, 0.5}, {0.05, 0.3}, {0.05, 0.3}, {500, 0.2}, {500, 0.2}, {0.5, 0}, {0.5, 0}, {0.02, 0},
    {0.3, 0},   {0.2, 0},   {180, 0},    {0, 0.5},    {50, 0},    {0.1, 0},   {0.1, 0}, {10, 0.5}, {10, 0.5},
    {180, 0},   {180, 0},
};
static_assert(std::size(kFitNames) == std::size(kSearchSpans), "a search span for every parameter");

// Each parameter's box, by index into kFitNames; its name is the parameter's other name.
inline constexpr TextBox CorvaneForm::*kFitBoxes[] = {
    &CorvaneForm::txtIota,          &CorvaneForm::Qratio,           &CorvaneForm::txtRadius1,   &CorvaneForm::txtRadius2,
    &CorvaneForm::txtTemp1,         &CorvaneForm::txtTemp2,         &CorvaneForm::txtLimb1,     &CorvaneForm::txtLimb2,
    &CorvaneForm::txtPhaseShift,    &CorvaneForm::txtThirdLight,    &CorvaneForm::txtEccentricity, &CorvaneForm::txtOmega,
    &CorvaneForm::txtSemiMajorAxis, &CorvaneForm::txtGammaVelocity, &CorvaneForm::txtECosOmega, &CorvaneForm::txtESinOmega,
    &CorvaneForm::txtVsini1,        &CorvaneForm::txtVsini2,        &CorvaneForm::txtLambda1,   &CorvaneForm::txtLambda2};
inline constexpr const char* kFitControls[] = {
    "txtIota",          "Qratio",           "txtRadius1",   "txtRadius2",   "txtTemp1",        "txtTemp2",   "txtLimb1",
    "txtLimb2",         "txtPhaseShift",    "txtThirdLight", "txtEccentricity", "txtOmega",     "txtSemiMajorAxis",
    "txtGammaVelocity", "txtECosOmega",     "txtESinOmega", "txtVsini1",    "txtVsini2",       "txtLambda1", "txtLambda2"};
static_assert(std::size(kFitNames) == std::size(kFitBoxes) && std::size(kFitNames) == std::size(kFitControls),
              "a box for every parameter");

// The index of a parameter named by its caption or its box's name; -1 for neither.
inline int fitIndex(const std::string& name) {
    for (std::size_t k = 0; k < std::size(kFitNames); ++k) {
        if (name == kFitNames[k] || name == kFitControls[k]) {
            return static_cast<int>(k);
        }
    }
    return -1;
}

inline TextBox& fitBox(CorvaneForm& f, int index) { return f.*kFitBoxes[index]; }
inline const TextBox& fitBox(const CorvaneForm& f, int index) { return f.*kFitBoxes[index]; }

// A parameter's bounds: the fit's own (FitBounds) or its box's range.
inline std::pair<double, double> boundsOf(const CorvaneForm& f, int k) {
    const auto b = f.FitBounds.find(kFitNames[k]);
    return b != f.FitBounds.end() ? b->second : std::pair{kScales[k].lower, kScales[k].upper};
}

inline double rounded(double v, double step) { return std::round(v / step) * step; }

// Rounded to `figures` significant figures of `scale` (as it is when scale is not positive).
inline double toFigures(double v, double scale, int figures = 2) {
    if (!(scale > 0) || !std::isfinite(scale)) {
        return v;
    }
    return rounded(v, std::pow(10.0, std::floor(std::log10(scale)) - (figures - 1)));
}

// A one-sigma error as printed: two significant figures, or "unknown" where the curvature gave none
// (a rounding to the parameter's own step once printed such errors as "0").
inline std::string sigmaText(const std::optional<double>& error) {
    return error && *error > 0 && std::isfinite(*error) ? platform::GeneralNumber(toFigures(*error, *error))
                                                        : std::string("unknown");
}

// The parameters FitFree names, as indices into kFitNames (repeats dropped; Pole Radius #2 left out,
// with a note, while "Auto" keeps it on the common surface). False, with why, for an unknown name or
// none.
inline bool chooseFree(CorvaneForm& f, std::vector<int>& free, std::string& notes, std::string& why) {
    for (std::string& name : f.FitFree) {
        if (const int k = fitIndex(name); k >= 0) {
            name = kFitNames[k]; // a box's name stands for its caption
        }
    }
    for (const std::string& name : f.FitFree) {
        const int k = fitIndex(name);
        if (k < 0) {
            why = "'" + name + "' cannot be fitted (the parameters are: ";
            for (std::size_t j = 0; j < std::size(kFitNames); ++j) {
                why += std::string(j > 0 ? ", " : "") + kFitNames[j];
            }
            why += ")";
            return false;
        }
        if (std::find(free.begin(), free.end(), k) != free.end()) {
            continue;
        }
        if (name == "Third Light" && !f.precisePhotometry()) {
            why = "Third Light is a setting of the Precise photometry: choose it to fit the third light";
            return false;
        }
        const auto named = [&](const char* n) { return std::find(f.FitFree.begin(), f.FitFree.end(), n) != f.FitFree.end(); };
        if ((name == "e cos(omega)" || name == "e sin(omega)") && (named("Eccentricity") || named("Periastron"))) {
            why = "free either Eccentricity and Periastron or e cos(omega) and e sin(omega), not both kinds";
            return false;
        }
        if ((name == "Semi-major Axis" || name == "Systemic Velocity") && f.VelocitySets.empty()) {
            why = name + " is set by radial velocities: load a velocity file to fit it";
            return false;
        }
        if (name.starts_with("v sin i") || name.starts_with("Spin-Orbit")) {
            if (f.VelocitySets.empty() || !f.precisePhotometry()) {
                why = name + " shows in radial velocities during the eclipses (the Rossiter-McLaughlin effect): load a "
                             "velocity file and choose the Precise photometry to fit it";
                return false;
            }
            if (name.starts_with("v sin i") && (name.back() == '1' ? f.Vsini1 : f.Vsini2) <= 0) {
                why = "give " + name + " a start above 0 (0 is the synchronous rotation) to fit it";
                return false;
            }
        }
        if (k == 3 && f.chkAuto.checked() && f.Omega1 < f.Roche.OmegaCrit) {
            // "Auto" puts star 2 on star 1's common surface: its radius follows the others.
            notes += "Pole Radius #2 is not free: \"Auto\" keeps it on the common surface.\r\n";
            continue;
        }
        free.push_back(k);
    }
    if (free.empty()) {
        why = "choose at least one parameter to fit";
        return false;
    }
    return true;
}

// e cos(omega) and e sin(omega) are boxes of the fit alone: loadEccentricityVector fills them from the
// orbit's boxes, applyEccentricityVector turns them back into e and omega when either is free.
inline constexpr int kECosOmega = 14, kESinOmega = 15;
static_assert(std::string_view(kFitNames[kECosOmega]) == "e cos(omega)", "the pair's indices");

inline void loadEccentricityVector(CorvaneForm& f) {
    const double e = platform::Val(f.txtEccentricity.Text), w = platform::Val(f.txtOmega.Text) * Pi / 180;
    f.txtECosOmega.Text = platform::GeneralNumber(std::isfinite(e * std::cos(w)) ? e * std::cos(w) : 0.0);
    f.txtESinOmega.Text = platform::GeneralNumber(std::isfinite(e * std::sin(w)) ? e * std::sin(w) : 0.0);
}

inline void applyEccentricityVector(CorvaneForm& f, const std::vector<int>& free) {
    if (std::find_if(free.begin(), free.end(), [](int k) { return k == kECosOmega || k == kESinOmega; }) == free.end()) {
        return;
    }
    const double c = platform::Val(f.txtECosOmega.Text), s = platform::Val(f.txtESinOmega.Text);
    f.txtEccentricity.Text = platform::GeneralNumber(std::hypot(c, s));
    f.txtOmega.Text = platform::GeneralNumber(std::atan2(s, c) * 180 / Pi);
}

// use(worker) on a copy of base with x in the free boxes, refreshed and its model computed at the
// observed phases.
template <typename Use>
auto atPoint(const CorvaneForm& base, const std::vector<int>& free, const std::vector<double>& x, Use use) {
    platform::ScriptedDialogs dialogs;
    CorvaneForm worker(base);
    worker.setDialogs(dialogs);
    for (std::size_t j = 0; j < free.size(); ++j) {
        fitBox(worker, free[j]).Text = platform::GeneralNumber(x[j]);
    }
    applyEccentricityVector(worker, free);
    worker.Refresh_Click();
    worker.computeModelAtObs();
    return use(worker);
}

} // namespace corvane::app::fitproblem
