// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "CorvaneForm.h"

#include "FitProblem.h"
#include "platform/NumberFormat.h"
#include "precise/PreciseLight.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <numbers>

// Gaussian priors of a fit: on its parameters, and on the derived quantities papers constrain (the
// ratio and the sum of the radii, the light ratio a spectrum measures).

namespace corvane::app {

using platform::GeneralNumber;
using platform::Val;

namespace {

// The derived quantities a prior may name, with the other spellings people use.
std::string derivedName(const std::string& name) {
    if (name == "k" || name == "Radius Ratio" || name == "r2/r1") {
        return "k";
    }
    if (name == "r1+r2" || name == "Radius Sum" || name == "r1 + r2") {
        return "r1+r2";
    }
    if (name == "Light Ratio" || name == "L2/L1") {
        return "Light Ratio";
    }
    return {};
}

std::string trimmed(std::string s) {
    const auto first = s.find_first_not_of(" \t");
    const auto last = s.find_last_not_of(" \t");
    return first == std::string::npos ? std::string() : s.substr(first, last - first + 1);
}

} // namespace

std::string CorvaneForm::fitParameterName(const std::string& nameOrControl) {
    const int k = fitproblem::fitIndex(nameOrControl);
    return k >= 0 ? fitproblem::kFitNames[k] : std::string();
}

std::string CorvaneForm::priorName(const std::string& name) {
    const std::string parameter = fitParameterName(name);
    return parameter.empty() ? derivedName(name) : parameter;
}

std::string CorvaneForm::parsePrior(const std::string& text, FitPrior& prior) {
    const auto equals = text.find('=');
    if (equals == std::string::npos) {
        return "a prior is NAME=VALUE+-SIGMA, not '" + text + "'";
    }
    const std::string name = trimmed(text.substr(0, equals));
    std::string rest = trimmed(text.substr(equals + 1));
    const std::string canonical = priorName(name);
    if (canonical.empty()) {
        return "'" + name + "' cannot take a prior: name a fit parameter (its caption or its box), k, r1+r2 or "
               "Light Ratio";
    }
    std::size_t split = std::string::npos, width = 0;
    for (const char* sign : {"+/-", "+-", "\u00b1"}) {
        if (const auto at = rest.find(sign); at != std::string::npos) {
            split = at;
            width = std::string(sign).size();
            break;
        }
    }
    if (split == std::string::npos) {
        return "the prior on " + canonical + " needs its sigma: " + name + "=VALUE+-SIGMA";
    }
    const std::string valueText = trimmed(rest.substr(0, split)), sigmaText = trimmed(rest.substr(split + width));
    char* end = nullptr;
    const double value = std::strtod(valueText.c_str(), &end);
    const bool valueOk = !valueText.empty() && *end == '\0' && std::isfinite(value);
    const double sigma = std::strtod(sigmaText.c_str(), &end);
    const bool sigmaOk = !sigmaText.empty() && *end == '\0' && std::isfinite(sigma) && sigma > 0;
    if (!valueOk || !sigmaOk) {
        return "the prior on " + canonical + " needs a number and a positive sigma: '" + rest + "'";
    }
    prior = FitPrior{canonical, value, sigma};
    return {};
}

double CorvaneForm::priorQuantity(const std::string& name) const {
    if (name == "e cos(omega)" || name == "e sin(omega)") {
        const double w = OmegaDeg * std::numbers::pi / 180;
        return Eccentricity * (name == "e cos(omega)" ? std::cos(w) : std::sin(w));
    }
    if (const int k = fitproblem::fitIndex(name); k >= 0) {
        return Val(fitproblem::fitBox(*this, k).Text);
    }
    if (name == "k" || name == "r1+r2") {
        const double r1 = volumeRadius(1), r2 = volumeRadius(2);
        return name == "k" ? r2 / r1 : r1 + r2;
    }
    if (name == "Light Ratio") {
        if (!precisePhotometry() || LightRefused || !TwoStarsCheck.checked()) {
            return std::nan("");
        }
        const auto stars = precise::PreciseLight(sceneInputs()).starLights(std::numbers::pi);
        const auto c = static_cast<std::size_t>(comparedChannel());
        return stars && (*stars)[0][c] > 0 ? (*stars)[1][c] / (*stars)[0][c] : std::nan("");
    }
    return std::nan("");
}

double CorvaneForm::priorPenalty() const {
    double sum = 0;
    for (const FitPrior& p : FitPriors) {
        const double z = (priorQuantity(p.name) - p.value) / p.sigma;
        if (!std::isfinite(z)) {
            return std::numeric_limits<double>::infinity();
        }
        sum += z * z;
    }
    return sum;
}

std::string CorvaneForm::priorReport() const {
    std::string text;
    for (const FitPrior& p : FitPriors) {
        const double x = priorQuantity(p.name);
        text += "Prior: " + p.name + " = " + GeneralNumber(p.value) + " +/- " + GeneralNumber(p.sigma) + "; at the fit " +
                (std::isfinite(x) ? GeneralNumber(fitproblem::toFigures(x, p.sigma * 0.01, 2)) + " (" +
                                        GeneralNumber(std::round((x - p.value) / p.sigma * 100) / 100) + " sigma)"
                                  : std::string("none (it cannot be computed for this system)")) +
                "\r\n";
    }
    return text;
}

} // namespace corvane::app
