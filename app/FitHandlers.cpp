// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "CorvaneForm.h"

#include "fitting/Evaluate.h"
#include "fitting/Fit.h"
#include "fitting/Ranks.h"
#include "FitProblem.h"
#include "fitting/RelativeError.h"
#include "platform/NumberFormat.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>

// Fitting the loaded observations: the downhill simplex over the chosen parameters, each evaluation
// on its own copy of the form, as the grid search does.

namespace corvane::app {

using platform::GeneralNumber;
using platform::Val;

using namespace fitproblem;

std::span<const char* const> CorvaneForm::fitParameterNames() { return kFitNames; }

std::optional<double> CorvaneForm::fitObjective() {
    const auto n = static_cast<std::size_t>(std::max<int>(Curve.ObsCount, 0));
    if (n == 0) {
        return std::nullopt;
    }
    const auto chi = ObsHasErrors ? chiSquareAtObs() : residualsAtObs();
    if (!chi || chi->points == 0 || !std::isfinite(chi->chi2)) {
        return std::nullopt;
    }
    return ObsHasErrors ? chi->perPoint() : std::sqrt(chi->perPoint());
}

bool CorvaneForm::runFit(int threads, const std::function<void(int evaluations, double best)>& progress,
                         const std::atomic<bool>& cancel, FitOutcome& out, std::string& why) {
    out = FitOutcome{};
    if (Curve.ObsCount < 1) {
        why = "load an observed light curve first";
        return false;
    }
    std::vector<int> free;
    std::string notes;
    if (!chooseFree(*this, free, notes, why)) {
        return false;
    }

    CorvaneForm base = modelPassBase();

    const std::size_t n = free.size();
    fitting::SimplexOptions options;
    std::vector<double> start(n), h(n);
    for (std::size_t j = 0; j < n; ++j) {
        const FitScale& s = kScales[free[j]];
        double v = Val(fitBox(base, free[j]).Text);
        v = std::isfinite(v) ? std::clamp(v, s.lower, s.upper) : s.lower;
        start[j] = v;
        options.lower.push_back(s.lower);
        options.upper.push_back(s.upper);
        options.step.push_back(std::max(s.step, s.relativeStep * std::fabs(v)));
        h[j] = std::max(s.difference, s.relativeStep * 0.05 * std::fabs(v));
    }
    options.maxEvaluations = 150 * static_cast<int>(n + 1);

    auto single = [&base, &free](const std::vector<double>& x) -> double {
        return atPoint(base, free, x, [](CorvaneForm& worker) {
            const auto v = worker.fitObjective();
            return v ? *v : std::numeric_limits<double>::infinity();
        });
    };
    // Every process of an MPI run must see the same cancel at the same batch, or they part ways.
    std::atomic<bool> agreed{false};
    const fitting::BatchObjective batch = [&](const std::vector<std::vector<double>>& points) {
        std::vector<double> values = fitting::evaluateEverywhere(single, points, threads);
        agreed = fitting::ranks::anyTrue(cancel.load());
        return values;
    };
    const fitting::SimplexResult best = fitting::minimiseSimplex(
        batch, start, options,
        [&](const fitting::SimplexProgress& p) {
            if (progress) {
                progress(p.evaluations, p.best);
            }
        },
        agreed);
    if (!std::isfinite(best.value)) {
        why = "the model could not be compared with the observations at any point tried";
        return false;
    }

    // One-sigma errors where the fit ended at a minimum. The objective is made a chi-square: with
    // errors N times the chi-square per point (the errors then scaled by sqrt(chi2 / (N - n)) when the
    // fit is worse than the errors say); without, the sum of squared residuals over the noise the
    // best fit's residuals give, RMS^2 (N - n) / RMS_min^2.
    const auto N = static_cast<double>(Curve.ObsCount);
    const double dof = std::max(1.0, N - static_cast<double>(n));
    std::vector<std::optional<double>> errors(n);
    double scale = 1;
    if (!best.cancelled && best.value > 0) {
        const bool weighted = ObsHasErrors;
        const double minimum = best.value;
        const fitting::BatchObjective asChiSquare = [&](const std::vector<std::vector<double>>& points) {
            std::vector<double> v = batch(points);
            for (double& d : v) {
                d = weighted ? d * N : d * d * dof / (minimum * minimum);
            }
            return v;
        };
        if (weighted) {
            scale = std::sqrt(std::max(1.0, minimum * N / dof));
        }
        errors = fitting::curvatureErrors(asChiSquare, best.best, h, options.lower, options.upper, scale);
    }
    int evaluations = best.evaluations;
    if (!best.cancelled) {
        evaluations += static_cast<int>(2 * n * n + 1);
    }

    // The best point into the boxes, rounded to digits that matter, and the model shown for it.
    for (std::size_t j = 0; j < n; ++j) {
        fitBox(*this, free[j]).Text = GeneralNumber(rounded(best.best[j], kScales[free[j]].rounding));
    }
    Refresh_Click();
    computeModelAtObs();
    RelativeError();
    const std::optional<double> shown = fitObjective();

    out.weighted = ObsHasErrors;
    out.objective = shown.value_or(best.value);
    if (const auto chi = ObsHasErrors ? chiSquareAtObs() : residualsAtObs(); chi) {
        out.zeroPoint = chi->zeroPoint;
    }
    out.evaluations = evaluations;
    out.converged = best.converged;
    out.cancelled = best.cancelled;
    out.errors = errors;
    std::ostringstream r;
    r << "Fit by the downhill simplex (" << (precisePhotometry() ? "precise" : "pixel") << " photometry, "
      << Curve.ObsCount << " observed points, channel " << channelName(comparedChannel()) << ")\r\n";
    for (std::size_t j = 0; j < n; ++j) {
        const std::string name = kFitNames[free[j]];
        const double value = Val(fitBox(*this, free[j]).Text);
        out.names.push_back(name);
        out.values.push_back(value);
        r << name << " = " << GeneralNumber(value) << " +/- " << sigmaText(errors[j]) << "\r\n";
    }
    r << notes;
    if (out.weighted) {
        r << "Chi-Square per Point = " << GeneralNumber(rounded(out.objective, 1e-6)) << " (zero point "
          << GeneralNumber(rounded(out.zeroPoint, 1e-5)) << " mag)\r\n";
    } else {
        r << "RMS Residual = " << GeneralNumber(toFigures(out.objective, out.objective, 4)) << " mag (zero point "
          << GeneralNumber(rounded(out.zeroPoint, 1e-5))
          << " mag; the file gives no errors: every point weighted alike)\r\n";
    }
    r << "Evaluations: " << evaluations << ", "
      << (best.cancelled ? "cancelled: the best point so far"
                         : best.converged ? "converged" : "stopped at the evaluation limit")
      << "\r\n";
    if (!best.cancelled) {
        r << "Errors: one sigma from the curvature of the "
          << (out.weighted ? "chi-square" : "residuals (their scatter taken as every point's error)");
        if (out.weighted && scale > 1) {
            r << ", scaled by sqrt(chi2 / (N - n)) = " << GeneralNumber(rounded(scale, 1e-3));
        }
        r << "\r\n";
    }
    out.report = r.str();
    Text1.Text = out.report + Text1.Text;
    Text1.Visible = true;
    lblDCProgress.Caption = std::string(best.cancelled ? "Fit cancelled" : "Fit done") + ": " +
                            std::to_string(evaluations) + " evaluations, " +
                            (out.weighted ? "chi-square per point " + GeneralNumber(rounded(out.objective, 1e-4))
                                          : "RMS residual " + GeneralNumber(toFigures(out.objective, out.objective, 4)) +
                                                " mag");
    return true;
}

} // namespace corvane::app
