// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "CorvaneForm.h"
#include "RobustStatistics.h"

#include "fitting/Detrend.h"
#include "fitting/Fit.h"
#include "platform/NumberFormat.h"

#include <algorithm>
#include <cmath>
#include <span>

// What a fit does to the observations between its passes: outliers left out point by point (before
// the points are binned, so one flare does not spoil a bin's mean) and slow trends in time taken off,
// the binned points made again after each pass.

namespace corvane::app {

using platform::GeneralNumber;

namespace {

// One file's pass: clips its kept points at sigma robust standard deviations of the normalised
// residuals (1.4826 times their median absolute deviation), then fits its trend to what the model
// leaves. modelMag is the model at each binned point, zeroPoint the file's offset from it.
double prepareFile(CorvaneForm::TimedLight& t, const std::vector<double>& modelMag, double zeroPoint, double sigma,
                   int& added) {
    const std::size_t n = t.phase.size();
    if (modelMag.size() != t.bins || !std::isfinite(zeroPoint)) {
        return 0;
    }
    auto errorOf = [&t](std::size_t i) { return t.error.empty() ? 1.0 : t.error[i]; };
    std::vector<double> residual(n);
    for (std::size_t i = 0; i < n; ++i) {
        residual[i] = t.mag[i] - modelMag[t.slot[i]] - zeroPoint;
    }
    if (sigma > 0) {
        std::vector<double> z;
        std::vector<std::size_t> at;
        for (std::size_t i = 0; i < n; ++i) {
            const double e = errorOf(i), d = (residual[i] - t.trend[i]) / e;
            if (t.clipped[i] == 0 && e > 0 && std::isfinite(d)) {
                z.push_back(d);
                at.push_back(i);
            }
        }
        if (z.size() >= 10) {
            const double centre = median(z);
            const double spread = robustSigma(z, centre);
            for (std::size_t k = 0; spread > 0 && k < z.size(); ++k) {
                if (std::abs(z[k] - centre) > sigma * spread) {
                    t.clipped[at[k]] = 1;
                    ++added;
                }
            }
        }
    }
    if (t.degree < 0 || t.time.empty()) {
        return 0;
    }
    std::vector<double> weight(n, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        const double e = errorOf(i);
        weight[i] = t.clipped[i] == 0 && e > 0 && std::isfinite(residual[i]) ? 1 / (e * e) : 0.0;
    }
    const fitting::Trend trend = fitting::fitTrend(t.time, residual, weight, t.degree, t.gap);
    double change = 0;
    for (std::size_t i = 0; i < n; ++i) {
        change = std::max(change, std::abs(trend.value[i] - t.trend[i]));
    }
    t.trend = trend.value;
    t.stretches = trend.stretches;
    t.degreeUsed = trend.degree;
    return change;
}

} // namespace

CorvaneForm::TimedLight CorvaneForm::foldKeepingPoints(fitting::Observations& obs, double period, double epoch) {
    TimedLight t;
    if (obs.abscissa == fitting::Abscissa::Time) {
        t.time = obs.x;
        fitting::fold(obs, period, epoch);
    }
    t.phase = obs.x;
    t.mag = obs.value;
    t.error = obs.error;
    t.slot = fitting::phaseSlots(obs.x, static_cast<std::size_t>(lightcurve::MaxPoint), t.bins);
    t.trend.assign(obs.size(), 0.0);
    t.clipped.assign(obs.size(), 0);
    return t;
}

CorvaneForm::Binned CorvaneForm::rebinned(const TimedLight& t) {
    struct Sum {
        double n = 0, phase = 0, mag = 0, var = 0, all = 0, allPhase = 0, allMag = 0;
    };
    std::vector<Sum> sums(t.bins);
    for (std::size_t i = 0; i < t.phase.size(); ++i) {
        Sum& s = sums[t.slot[i]];
        const double mag = t.mag[i] - t.trend[i];
        s.all += 1;
        s.allPhase += t.phase[i];
        s.allMag += mag;
        if (t.clipped[i] == 0) {
            s.n += 1;
            s.phase += t.phase[i];
            s.mag += mag;
            s.var += t.error.empty() ? 0.0 : t.error[i] * t.error[i];
        }
    }
    Binned b;
    for (const Sum& s : sums) {
        const bool kept = s.n > 0;
        b.phase.push_back(kept ? s.phase / s.n : s.allPhase / s.all);
        b.mag.push_back(kept ? s.mag / s.n : s.allMag / s.all);
        b.error.push_back(t.error.empty() ? 0.0 : kept ? std::sqrt(s.var) / s.n : 0.0);
        b.clipped.push_back(kept ? 0 : 1);
    }
    return b;
}

namespace {

void applyToCurve(CorvaneForm& f) {
    const CorvaneForm::Binned b = CorvaneForm::rebinned(f.ObsTimed);
    auto& c = f.Curve;
    if (static_cast<std::size_t>(c.ObsCount) != b.mag.size()) {
        return;
    }
    c.ObsMax = -1e14;
    c.ObsMin = 1e14;
    for (std::size_t k = 0; k < b.mag.size(); ++k) {
        c.ObsPhase[k + 1] = b.phase[k];
        c.ObsRaw[k + 1] = b.mag[k];
        if (f.ObsHasErrors && !f.ObsTimed.error.empty()) {
            f.ObsError[k + 1] = b.error[k];
        }
        f.ObsClipped[k + 1] = b.clipped[k];
        c.ObsMax = std::max(c.ObsMax, b.mag[k]);
        c.ObsMin = std::min(c.ObsMin, b.mag[k]);
    }
    for (std::size_t k = 1; k <= b.mag.size(); ++k) {
        c.ObsValue[k] = c.ObsMax + c.ObsMin - c.ObsRaw[k];
    }
    f.ModelAtObsKey.clear(); // the points moved: the model at them is to be computed again
}

void applyToSet(CorvaneForm::LightSet& set) {
    const CorvaneForm::Binned b = CorvaneForm::rebinned(set.timed);
    if (b.mag.size() != set.mag.size()) {
        return;
    }
    set.phase = b.phase;
    set.mag = b.mag;
    if (set.hasErrors) {
        set.error = b.error;
    }
    set.clipped = b.clipped;
}

} // namespace

void CorvaneForm::resetPreparation() {
    std::fill(ObsClipped.begin(), ObsClipped.end(), 0);
    auto reset = [](TimedLight& t) {
        std::fill(t.trend.begin(), t.trend.end(), 0.0);
        std::fill(t.clipped.begin(), t.clipped.end(), 0);
        t.stretches = 0;
        t.degreeUsed = 0;
    };
    if (!ObsTimed.phase.empty()) {
        reset(ObsTimed);
        applyToCurve(*this);
    }
    for (LightSet& set : ExtraLight) {
        std::fill(set.clipped.begin(), set.clipped.end(), 0);
        if (!set.timed.phase.empty()) {
            reset(set.timed);
            applyToSet(set);
        }
    }
}

bool CorvaneForm::detrending() const {
    if (ObsTimed.degree >= 0) {
        return true;
    }
    return std::any_of(ExtraLight.begin(), ExtraLight.end(), [](const LightSet& s) { return s.timed.degree >= 0; });
}

double CorvaneForm::prepareAtModel(double sigma, int& clipped) {
    clipped = 0;
    double change = 0;
    const auto n = static_cast<std::size_t>(std::max<int>(Curve.ObsCount, 0));
    if (n > 0 && ObsTimed.bins == n) {
        if (const auto chi = ObsHasErrors ? chiSquareAtObs() : residualsAtObs(); chi) {
            const std::vector<double> model = fitting::lightToMagnitudes(std::span(ModelLightAtObs).subspan(1, n));
            change = std::max(change, prepareFile(ObsTimed, model, chi->zeroPoint, sigma, clipped));
            applyToCurve(*this);
        }
    }
    for (LightSet& set : ExtraLight) {
        if (set.timed.bins != set.mag.size()) {
            continue;
        }
        if (const auto chi = lightSetChiSquare(set); chi) {
            const std::vector<double> model = fitting::lightToMagnitudes(lightSetModel(set));
            change = std::max(change, prepareFile(set.timed, model, chi->zeroPoint, sigma, clipped));
            applyToSet(set);
        }
    }
    return change;
}

std::string CorvaneForm::detrendReport() const {
    std::string text;
    auto line = [&text](const std::string& file, const TimedLight& t) {
        if (t.degree < 0 || t.time.empty()) {
            return;
        }
        double lo = 0, hi = 0;
        for (std::size_t i = 0; i < t.trend.size(); ++i) {
            if (t.clipped[i] == 0) {
                lo = std::min(lo, t.trend[i]);
                hi = std::max(hi, t.trend[i]);
            }
        }
        text += "Detrended " + file + ": " + std::to_string(t.stretches) +
                (t.stretches == 1 ? " polynomial" : " polynomials") + " of degree " + std::to_string(t.degreeUsed) +
                " in time (" +
                (t.gap > 0 ? "one for each stretch between gaps over " + GeneralNumber(t.gap) + " d"
                           : std::string("one for the file")) +
                ", fitted with the model), the trend spanning " + GeneralNumber(std::round((hi - lo) * 1e5) / 1e5) +
                " mag.\r\n";
    };
    line(std::filesystem::path(txtLCName.Text).filename().string(), ObsTimed);
    for (const LightSet& set : ExtraLight) {
        line(std::filesystem::path(set.file).filename().string(), set.timed);
    }
    return text;
}

} // namespace corvane::app
