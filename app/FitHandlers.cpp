// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "CorvaneForm.h"

#include "fitting/DifferentialEvolution.h"
#include "fitting/Evaluate.h"
#include "fitting/Fit.h"
#include "fitting/LevenbergMarquardt.h"
#include "fitting/Ranks.h"
#include "FitProblem.h"
#include "fitting/RelativeError.h"
#include "platform/NumberFormat.h"
#include "precise/PreciseLight.h"
#include "precise/VolumeRadius.h"
#include "roche/Constants.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <sstream>

// Fitting the loaded observations: Levenberg-Marquardt (or the downhill simplex) over the chosen parameters, each evaluation
// on its own copy of the form, as the grid search does.

namespace corvane::app {

using platform::GeneralNumber;
using platform::Val;

using namespace fitproblem;

std::span<const char* const> CorvaneForm::fitParameterNames() { return kFitNames; }

int CorvaneForm::fitPointCount() const {
    int n = std::max<int>(Curve.ObsCount, 0) - clippedCount();
    for (const LightSet& set : ExtraLight) {
        for (const unsigned char c : set.clipped) {
            n += c == 0 ? 1 : 0;
        }
    }
    for (const VelocitySet& set : VelocitySets) {
        n += static_cast<int>(set.phase.size());
    }
    return n;
}

std::string CorvaneForm::velocityFitProblem() const {
    if (VelocitySets.empty()) {
        return {};
    }
    const bool errors = std::all_of(VelocitySets.begin(), VelocitySets.end(), [](const VelocitySet& s) {
        return !s.error.empty();
    });
    if (!ObsHasErrors || !errors) {
        return "a fit of the light curve and velocities together weighs each point by its error: every file needs "
               "them";
    }
    if (!(orbitScale().K1 > 0)) {
        return "the velocities need the orbit's size: the semi-major axis and the period";
    }
    return {};
}

double CorvaneForm::velocityChiSquare() const {
    double chi2 = 0;
    const std::optional<precise::PreciseLight> model = velocityModel();
    const double shift = observedPhaseShift();
    for (const VelocitySet& set : VelocitySets) {
        for (std::size_t k = 0; k < set.phase.size(); ++k) {
            const roche::PairVelocity v = velocityAt(set.phase[k] + shift, model ? &*model : nullptr);
            const double d = (set.velocity[k] - (set.star == 1 ? v.v1 : v.v2)) / set.error[k];
            chi2 += d * d;
        }
    }
    return chi2;
}

namespace {

// Errors of quantities f(x) derived from the fitted parameters, sigma_k^2 = g_k^T C g_k with the
// gradient g_k by central differences; a quantity none of the free parameters moves is marked
// fixed. Nothing without a covariance.
template <std::size_t K, class F>
std::array<std::optional<double>, K> throughCovariance(F f, const std::vector<double>& x,
                                                       const std::vector<std::vector<double>>& covariance,
                                                       std::array<bool, K>& fixed,
                                                       const std::vector<double>& steps = {}) {
    std::array<std::optional<double>, K> sigma{};
    fixed.fill(false);
    const std::size_t n = x.size();
    if (covariance.size() != n) {
        return sigma;
    }
    std::vector<std::array<double, K>> g(n);
    for (std::size_t j = 0; j < n; ++j) {
        const double h = steps.size() == n ? steps[j] : std::max(1e-7, 1e-6 * std::abs(x[j]));
        std::vector<double> up = x, down = x;
        up[j] += h;
        down[j] -= h;
        const std::array<double, K> u = f(up), d = f(down);
        for (std::size_t k = 0; k < K; ++k) {
            g[j][k] = (u[k] - d[k]) / (2 * h);
        }
    }
    for (std::size_t k = 0; k < K; ++k) {
        double s2 = 0;
        fixed[k] = true;
        for (std::size_t j = 0; j < n; ++j) {
            fixed[k] = fixed[k] && g[j][k] == 0;
            for (std::size_t l = 0; l < n; ++l) {
                s2 += g[j][k] * covariance[j][l] * g[l][k];
            }
        }
        if (s2 > 0 && std::isfinite(s2)) {
            sigma[k] = std::sqrt(s2);
        }
    }
    return sigma;
}

} // namespace

std::string CorvaneForm::derivedReport(const std::vector<int>& free, const std::vector<double>& x,
                                       const std::vector<std::vector<double>>& covariance) const {
    // What the velocities give, from the fitted parameters: the semi-amplitudes, the masses and the
    // volume-equivalent radii, with errors through the fit's covariance.
    auto quantities = [&](const std::vector<double>& at) {
        double a = SemiMajorAxis, q = Q, iota = Iota * 180 / Pi, e = Eccentricity, r1 = Radius1, r2 = Radius2;
        double eCos = Eccentricity * std::cos(OmegaDeg * Pi / 180), eSin = Eccentricity * std::sin(OmegaDeg * Pi / 180);
        bool vector = false;
        for (std::size_t j = 0; j < free.size(); ++j) {
            const std::string name = kFitNames[free[j]];
            if (name == "e cos(omega)" || name == "e sin(omega)") {
                (name == "e cos(omega)" ? eCos : eSin) = at[j];
                vector = true;
            }
            double* target = name == "Semi-major Axis" ? &a : name == "Mass Ratio" ? &q : name == "Inclination" ? &iota
                           : name == "Eccentricity"    ? &e : name == "Pole Radius #1" ? &r1
                           : name == "Pole Radius #2"  ? &r2 : nullptr;
            if (target != nullptr) {
                *target = at[j];
            }
        }
        if (vector) {
            e = std::hypot(eCos, eSin);
        }
        const roche::OrbitSize size = roche::orbitSize(a, Val(txtPeriod.Text), q, e, iota * Pi / 180);
        std::array<double, 6> out{size.K1, size.K2, size.mass1, size.mass2, r1 * a, r2 * a};
        if (chkSpherical.checked()) {
            for (int star : {1, 2}) {
                const auto v = precise::volumeEquivalentRadius(star == 1 ? q : 1 / q, (star == 1 ? r1 : r2) / (1 - e));
                out[static_cast<std::size_t>(3 + star)] = v ? *v * (1 - e) * a : std::nan("");
            }
        }
        return out;
    };
    const std::array<double, 6> value = quantities(x);
    std::array<bool, 6> fixed{};
    const std::array<std::optional<double>, 6> sigma = throughCovariance<6>(quantities, x, covariance, fixed);
    const char* names[] = {"K1", "K2", "M1", "M2", "R1", "R2"};
    const char* units[] = {" km/s", " km/s", " Msun", " Msun", " Rsun", " Rsun"};
    std::string text = "Derived (nominal solar units, errors through the covariance):";
    for (std::size_t k = 0; k < 6; ++k) {
        text += std::string(k == 0 ? " " : ", ") + names[k] + " = " +
                GeneralNumber(toFigures(value[k], sigma[k].value_or(0) > 0 ? *sigma[k] : std::abs(value[k]) * 1e-5, 2)) +
                (fixed[k] ? std::string(" (fixed)") : " +/- " + sigmaText(sigma[k])) + units[k];
    }
    return text + "\r\n";
}

std::string CorvaneForm::orbitFormsReport(const std::vector<int>& free, const std::vector<double>& x,
                                          const std::vector<std::vector<double>>& covariance) const {
    // The orbit's shape in the form the fit did not use: e and omega from e cos(omega) and
    // e sin(omega), or the other way round, with errors through the covariance.
    int e = -1, w = -1, c = -1, s = -1;
    for (std::size_t j = 0; j < free.size(); ++j) {
        const std::string name = kFitNames[free[j]];
        const int at = static_cast<int>(j);
        if (name == "Eccentricity") {
            e = at;
        } else if (name == "Periastron") {
            w = at;
        } else if (name == "e cos(omega)") {
            c = at;
        } else if (name == "e sin(omega)") {
            s = at;
        }
    }
    const bool polar = e >= 0 || w >= 0, vector = c >= 0 || s >= 0;
    if (!polar && !vector) {
        return {};
    }
    auto forms = [&](const std::vector<double>& at) {
        double ev = Eccentricity, wv = OmegaDeg * Pi / 180;
        double cv = ev * std::cos(wv), sv = ev * std::sin(wv);
        if (polar) {
            ev = e >= 0 ? at[static_cast<std::size_t>(e)] : ev;
            wv = w >= 0 ? at[static_cast<std::size_t>(w)] * Pi / 180 : wv;
            return std::array<double, 2>{ev * std::cos(wv), ev * std::sin(wv)};
        }
        cv = c >= 0 ? at[static_cast<std::size_t>(c)] : cv;
        sv = s >= 0 ? at[static_cast<std::size_t>(s)] : sv;
        return std::array<double, 2>{std::hypot(cv, sv), std::atan2(sv, cv) * 180 / Pi};
    };
    const std::array<double, 2> value = forms(x);
    std::array<bool, 2> fixed{};
    const std::array<std::optional<double>, 2> sigma = throughCovariance<2>(forms, x, covariance, fixed);
    const char* names[2][2] = {{"e cos(omega)", "e sin(omega)"}, {"Eccentricity", "Periastron"}};
    std::string text = "Also: ";
    for (std::size_t k = 0; k < 2; ++k) {
        const double scale = sigma[k].value_or(0) > 0 ? *sigma[k] : std::max(std::abs(value[k]), 1e-3) * 1e-5;
        text += std::string(k == 0 ? "" : ", ") + names[polar ? 0 : 1][k] + " = " +
                GeneralNumber(toFigures(value[k], scale, 2)) + " +/- " + sigmaText(sigma[k]);
    }
    return text + "\r\n";
}

std::optional<double> CorvaneForm::fitObjective() {
    const auto n = static_cast<std::size_t>(std::max<int>(Curve.ObsCount, 0));
    if (n == 0) {
        return std::nullopt;
    }
    const auto chi = ObsHasErrors ? chiSquareAtObs() : residualsAtObs();
    if (!chi || chi->points == 0 || !std::isfinite(chi->chi2)) {
        return std::nullopt;
    }
    // The priors weigh against the errors; without errors (a fit's first pass) the light alone.
    const double penalty = FitPriors.empty() || !ObsHasErrors ? 0.0 : priorPenalty();
    if ((!VelocitySets.empty() && velocityFitProblem().empty()) || (!ExtraLight.empty() && ObsHasErrors)) {
        // One chi-square over every light curve and the velocities, per point.
        double total = chi->chi2 + (VelocitySets.empty() ? 0.0 : velocityChiSquare()) + penalty;
        for (const LightSet& set : ExtraLight) {
            const auto c = lightSetChiSquare(set);
            total += c ? c->chi2 : std::numeric_limits<double>::infinity();
        }
        return std::isfinite(total) ? std::optional<double>(total / fitPointCount()) : std::nullopt;
    }
    if (penalty != 0) {
        const double total = (chi->chi2 + penalty) / chi->points;
        return std::isfinite(total) ? std::optional<double>(total) : std::nullopt;
    }
    return ObsHasErrors ? chi->perPoint() : std::sqrt(chi->perPoint());
}

namespace {

// The quantities of the geometry and the light a table of results gives, at a form's values: the sum
// and the ratio of the volume-equivalent radii and each of them (units of a), and with the Precise
// photometry the light ratio L2/L1 at phase 0.25 in the compared light.
std::array<double, 5> geometryOf(const CorvaneForm& f) {
    const double r1 = f.volumeRadius(1), r2 = f.volumeRadius(2);
    double ratio = std::nan("");
    if (f.precisePhotometry() && !f.LightRefused && f.TwoStarsCheck.checked()) {
        if (const auto stars = precise::PreciseLight(f.sceneInputs()).starLights(Pi)) {
            const auto c = static_cast<std::size_t>(f.comparedChannel());
            ratio = (*stars)[0][c] > 0 ? (*stars)[1][c] / (*stars)[0][c] : std::nan("");
        }
    }
    return {r1 + r2, r2 / r1, r1, r2, ratio};
}

// The observations as a pass left them (clipped, detrended, binned again) from one form to another.
void takeObservations(const CorvaneForm& from, CorvaneForm& to) {
    to.ObsTimed = from.ObsTimed;
    for (int i = 1; i <= from.Curve.ObsCount; ++i) {
        const auto k = static_cast<std::size_t>(i);
        to.Curve.ObsPhase[k] = from.Curve.ObsPhase[k];
        to.Curve.ObsRaw[k] = from.Curve.ObsRaw[k];
        to.Curve.ObsValue[k] = from.Curve.ObsValue[k];
        to.ObsError[k] = from.ObsError[k];
    }
    to.Curve.ObsMax = from.Curve.ObsMax;
    to.Curve.ObsMin = from.Curve.ObsMin;
    to.ObsClipped = from.ObsClipped;
    to.ExtraLight = from.ExtraLight;
    to.ModelAtObsKey.clear();
}

} // namespace

std::vector<double> CorvaneForm::fitResiduals() {
    const auto n = static_cast<std::size_t>(std::max<int>(Curve.ObsCount, 0));
    const auto chi = ObsHasErrors ? chiSquareAtObs() : residualsAtObs();
    if (n == 0 || !chi || chi->points == 0) {
        return {};
    }
    std::vector<double> r;
    // A point the model cannot be computed at weighs as a large residual, so the vector keeps its length.
    auto push = [&r](double v) { r.push_back(std::isfinite(v) ? v : 1e3); };
    const std::vector<double> model = fitting::lightToMagnitudes(std::span(ModelLightAtObs).subspan(1, n));
    for (std::size_t k = 0; k < n; ++k) {
        const double e = ObsHasErrors ? ObsError[k + 1] : 1.0;
        if (ObsClipped[k + 1] == 0 && e > 0) {
            push((Curve.ObsRaw[k + 1] - model[k] - chi->zeroPoint) / e);
        }
    }
    for (const LightSet& set : ExtraLight) {
        const std::vector<double> m = fitting::lightToMagnitudes(lightSetModel(set));
        const auto c = lightSetChiSquare(set);
        for (std::size_t k = 0; k < set.mag.size(); ++k) {
            const double e = set.hasErrors ? set.error[k] : 1.0;
            if (set.clipped[k] == 0 && e > 0) {
                push(c ? (set.mag[k] - m[k] - c->zeroPoint) / e : std::nan(""));
            }
        }
    }
    if (!VelocitySets.empty() && velocityFitProblem().empty()) {
        const std::optional<precise::PreciseLight> vmodel = velocityModel();
        const double shift = observedPhaseShift();
        for (const VelocitySet& set : VelocitySets) {
            for (std::size_t k = 0; k < set.phase.size(); ++k) {
                const roche::PairVelocity v = velocityAt(set.phase[k] + shift, vmodel ? &*vmodel : nullptr);
                push((set.velocity[k] - (set.star == 1 ? v.v1 : v.v2)) / set.error[k]);
            }
        }
    }
    if (ObsHasErrors) {
        for (const FitPrior& p : FitPriors) {
            push((priorQuantity(p.name) - p.value) / p.sigma);
        }
    }
    return r;
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
    if (const std::string problem = velocityFitProblem(); !problem.empty()) {
        why = problem;
        return false;
    }
    if (!ExtraLight.empty()) {
        if (!precisePhotometry()) {
            why = "a fit of more than one light curve computes each in its band: choose the Precise photometry";
            return false;
        }
        const bool errors = std::all_of(ExtraLight.begin(), ExtraLight.end(), [](const LightSet& l) { return l.hasErrors; });
        if (!ObsHasErrors || !errors) {
            why = "a fit of more than one light curve weighs each point by its error: every file needs them";
            return false;
        }
    }
    if (ObsTimed.degree >= 0 && ObsTimed.time.empty()) {
        why = "the light curve " + txtLCName.Text + " holds phases, and a trend is fitted in time: fit it without detrending";
        return false;
    }
    // Each fit clips and detrends afresh (and a fit without clipping weighs every point).
    resetPreparation();
    for (const FitPrior& p : FitPriors) {
        if (!std::isfinite(priorQuantity(p.name))) {
            why = "the prior on " + p.name + " cannot be weighed: " +
                  (p.name == "Light Ratio" ? std::string("it needs two stars and the Precise photometry")
                                           : std::string("the quantity cannot be computed for this system"));
            return false;
        }
    }

    CorvaneForm base = modelPassBase();
    loadEccentricityVector(base);

    const std::size_t n = free.size();
    fitting::SimplexOptions options;
    std::vector<double> start(n), h(n);
    for (std::size_t j = 0; j < n; ++j) {
        const FitScale& s = kScales[free[j]];
        const auto [lower, upper] = boundsOf(*this, free[j]);
        double v = Val(fitBox(base, free[j]).Text);
        v = std::isfinite(v) ? std::clamp(v, lower, upper) : lower;
        start[j] = v;
        options.lower.push_back(lower);
        options.upper.push_back(upper);
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
    const bool levenberg = FitMethod == "lm";
    auto minimise = [&](const std::vector<double>& from) {
        if (!levenberg) {
            return fitting::minimiseSimplex(
                batch, from, options,
                [&](const fitting::SimplexProgress& p) {
                    if (progress) {
                        progress(p.evaluations, p.best);
                    }
                },
                agreed);
        }
        // Levenberg-Marquardt on the same objective as residuals; its best point is then valued as
        // the simplex's are, so everything after reads the same.
        const fitting::BatchResiduals residuals = [&](const std::vector<std::vector<double>>& points) {
            std::vector<std::vector<double>> values = fitting::evaluateVectorsEverywhere(
                [&base, &free](const std::vector<double>& x) {
                    return atPoint(base, free, x, [](CorvaneForm& worker) { return worker.fitResiduals(); });
                },
                points, threads);
            agreed = fitting::ranks::anyTrue(cancel.load());
            return values;
        };
        fitting::LevenbergOptions lm;
        lm.lower = options.lower;
        lm.upper = options.upper;
        for (std::size_t j = 0; j < n; ++j) {
            lm.step.push_back(0.1 * h[j]);
        }
        const fitting::LevenbergResult l = fitting::minimiseLevenbergMarquardt(
            residuals, from, lm,
            [&](int evaluations, double sum) {
                if (progress) {
                    const double points = std::max(1, fitPointCount());
                    progress(evaluations, ObsHasErrors ? sum / points : std::sqrt(sum / points));
                }
            },
            agreed);
        fitting::SimplexResult asSimplex;
        asSimplex.best = l.best;
        asSimplex.evaluations = l.evaluations + 1;
        asSimplex.converged = l.converged;
        asSimplex.cancelled = l.cancelled;
        asSimplex.value = batch({l.best}).front();
        return asSimplex;
    };
    fitting::SimplexResult best = minimise(start);
    if (!std::isfinite(best.value)) {
        why = "the model could not be compared with the observations at any point tried";
        return false;
    }
    int passEvaluations = 0;
    std::string preparation;

    // The global search, when the local fit shows the start was far from the data (or when asked):
    // differential evolution over a box around the start, then the optimiser from its best point,
    // whichever of the two minima is lower kept.
    if (!best.cancelled && FitGlobal != "never") {
        const auto points = static_cast<double>(fitPointCount());
        const double reduced = ObsHasErrors ? best.value * points / std::max(1.0, points - static_cast<double>(n)) : 0.0;
        std::string because = "as asked";
        bool far = FitGlobal == "always";
        if (!far && reduced > FarChiSquare) {
            far = true;
            because = "the fit from the start ended at a reduced chi-square of " + GeneralNumber(toFigures(reduced, reduced, 3)) +
                      ", above " + GeneralNumber(FarChiSquare);
        }
        // A missed depth counts only where the fit is poor as a whole: a noise-free curve fitted to
        // a millionth of a magnitude has residuals whose own noise any miss exceeds.
        const bool poor = ObsHasErrors ? reduced > 2 : best.value > FarResidual;
        if (!far && poor && atPoint(base, free, best.best, [&](CorvaneForm& worker) {
                const std::vector<std::string> warnings = worker.fitWarnings(reduced);
                return std::any_of(warnings.begin(), warnings.end(),
                                   [](const std::string& w) { return w.find("misses the depth") != std::string::npos; });
            })) {
            far = true;
            because = "the fit from the start missed an eclipse's depth by more than three times the noise";
        }
        if (far) {
            fitting::EvolutionOptions e;
            for (std::size_t j = 0; j < n; ++j) {
                const SearchSpan span = kSearchSpans[free[j]];
                const double half = std::max(span.absolute, span.relative * std::fabs(start[j]));
                e.lower.push_back(std::max(options.lower[j], start[j] - half));
                e.upper.push_back(std::min(options.upper[j], start[j] + half));
            }
            std::vector<double> from = best.best;
            for (std::size_t j = 0; j < n; ++j) {
                from[j] = std::clamp(from[j], e.lower[j], e.upper[j]);
            }
            const fitting::EvolutionResult g = fitting::minimiseDifferentialEvolution(
                batch, from, e,
                [&](int evaluations, double value) {
                    if (progress) {
                        progress(best.evaluations + evaluations, value);
                    }
                },
                agreed);
            fitting::SimplexResult polished = minimise(g.best);
            const bool better = std::isfinite(polished.value) && polished.value < best.value;
            std::ostringstream line;
            line << "Global search (differential evolution over";
            for (std::size_t j = 0; j < n; ++j) {
                line << (j == 0 ? " " : ", ") << kFitNames[free[j]] << " " << GeneralNumber(toFigures(e.lower[j], e.upper[j] - e.lower[j], 3))
                     << " to " << GeneralNumber(toFigures(e.upper[j], e.upper[j] - e.lower[j], 3));
            }
            line << "; " << g.generations << " generations of " << (g.evaluations / std::max(1, g.generations + 1))
                 << ", " << g.evaluations << " evaluations), " << because << ": its best point, refined, "
                 << (better ? "was kept" : "was no better than the fit from the start, which was kept") << " ("
                 << (ObsHasErrors ? "chi-square per point " : "RMS residual ") << GeneralNumber(toFigures(polished.value, polished.value, 4))
                 << " against " << GeneralNumber(toFigures(best.value, best.value, 4)) << ").\r\n";
            preparation += line.str();
            passEvaluations += g.evaluations + (better ? best.evaluations : polished.evaluations);
            if (better || polished.cancelled) {
                best = polished;
            }
        }
    }

    // A file without errors: after the first fit each point is given the residual scatter as its
    // error, so that priors can weigh against it. The file's own (missing) errors come back at the end.
    const bool assignErrors = !ObsHasErrors && !FitPriors.empty();
    if (assignErrors && !best.cancelled) {
        const auto points = static_cast<double>(fitPointCount());
        const double scatter = best.value * std::sqrt(points / std::max(1.0, points - static_cast<double>(n)));
        for (CorvaneForm* f : {this, &base}) {
            f->ObsHasErrors = true;
            std::fill(f->ObsError.begin() + 1, f->ObsError.begin() + 1 + Curve.ObsCount, scatter);
        }
        preparation += "The file gives no errors: after a first fit each point was given the residual scatter, " +
                       GeneralNumber(toFigures(scatter, scatter, 3)) + " mag, as its error.\r\n";
        passEvaluations += best.evaluations;
        best = minimise(best.best);
    }
    // Iterative sigma clipping and detrending against the fitted model, the fit run again after each
    // pass, until no point is added and no trend moves by more than a tenth of the noise.
    if (FitClipSigma > 0 || detrending()) {
        std::vector<double> noise = ObsTimed.error;
        for (const LightSet& set : ExtraLight) {
            noise.insert(noise.end(), set.timed.error.begin(), set.timed.error.end());
        }
        double tolerance = 1e-4;
        if (!noise.empty()) {
            std::nth_element(noise.begin(), noise.begin() + static_cast<std::ptrdiff_t>(noise.size() / 2), noise.end());
            tolerance = std::max(1e-7, 0.1 * noise[noise.size() / 2]);
        }
        const bool pointwise = ObsTimed.bins == static_cast<std::size_t>(std::max<int>(Curve.ObsCount, 0)) &&
                               std::all_of(ExtraLight.begin(), ExtraLight.end(),
                                           [](const LightSet& l) { return l.timed.bins == l.mag.size(); });
        int passes = 0;
        while (!best.cancelled && passes < FitClipPasses) {
            const bool again = atPoint(base, free, best.best, [&](CorvaneForm& worker) {
                int added = 0;
                double moved = 0;
                if (pointwise) {
                    moved = worker.prepareAtModel(FitClipSigma, added);
                } else {
                    added = worker.clipOutliers(FitClipSigma);
                }
                takeObservations(worker, *this);
                return added > 0 || moved > tolerance;
            });
            if (!again) {
                break;
            }
            ++passes;
            takeObservations(*this, base);
            passEvaluations += best.evaluations;
            best = minimise(best.best);
        }
        if (FitClipSigma > 0) {
            std::size_t clipped = 0, points = 0;
            auto count = [&](const TimedLight& t, const std::vector<unsigned char>& binned, std::size_t slots) {
                if (pointwise) {
                    points += t.clipped.size();
                    clipped += static_cast<std::size_t>(std::count(t.clipped.begin(), t.clipped.end(), 1));
                } else {
                    points += slots;
                    clipped += static_cast<std::size_t>(std::count(binned.begin() + 1, binned.begin() + 1 +
                                                                   static_cast<std::ptrdiff_t>(slots), 1));
                }
            };
            count(ObsTimed, ObsClipped, static_cast<std::size_t>(std::max<int>(Curve.ObsCount, 0)));
            for (const LightSet& set : ExtraLight) {
                std::vector<unsigned char> flags(1, 0);
                flags.insert(flags.end(), set.clipped.begin(), set.clipped.end());
                count(set.timed, flags, set.clipped.size());
            }
            preparation += "Sigma clipping at " + GeneralNumber(FitClipSigma) + " sigma (robust, of the residuals" +
                           (pointwise ? ", point by point before binning" : "") + "): " + std::to_string(clipped) +
                           " of " + std::to_string(points) + " observed points left out (" + std::to_string(passes) +
                           (passes == 1 ? " pass" : " passes") + ", each followed by the fit again).\r\n";
        } else {
            preparation += "Detrending: " + std::to_string(passes) + (passes == 1 ? " pass" : " passes") +
                           ", each followed by the fit again.\r\n";
        }
        preparation += detrendReport();
    }
    best.evaluations += passEvaluations;

    // One-sigma errors where the fit ended at a minimum. The objective is made a chi-square: with
    // errors N times the chi-square per point (the errors then scaled by sqrt(chi2 / (N - n)) when the
    // fit is worse than the errors say); without, the sum of squared residuals over the noise the
    // best fit's residuals give, RMS^2 (N - n) / RMS_min^2.
    const auto N = static_cast<double>(fitPointCount());
    const double dof = std::max(1.0, N - static_cast<double>(n));
    std::vector<std::optional<double>> errors(n);
    std::vector<std::vector<double>> covariance;
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
        errors = fitting::curvatureErrors(asChiSquare, best.best, h, options.lower, options.upper, scale, &covariance);
    }
    int evaluations = best.evaluations;
    if (!best.cancelled) {
        evaluations += static_cast<int>(2 * n * n + 1);
    }
    if (assignErrors) {
        ObsHasErrors = false;
        std::fill(ObsError.begin(), ObsError.end(), 0.0);
    }

    // The best point into the boxes, rounded to digits that matter, and the model shown for it.
    for (std::size_t j = 0; j < n; ++j) {
        fitBox(*this, free[j]).Text = GeneralNumber(rounded(best.best[j], kScales[free[j]].rounding));
    }
    applyEccentricityVector(*this, free);
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
    r << "Fit by " << (levenberg ? "Levenberg-Marquardt" : "the downhill simplex") << " ("
      << (precisePhotometry() ? "precise" : "pixel") << " photometry, "
      << Curve.ObsCount << " observed points, channel " << channelName(comparedChannel());
    if (!ExtraLight.empty()) {
        r << ", and " << ExtraLight.size() << (ExtraLight.size() == 1 ? " more light curve" : " more light curves");
    }
    if (!VelocitySets.empty()) {
        std::size_t velocities = 0;
        for (const VelocitySet& set : VelocitySets) {
            velocities += set.phase.size();
        }
        r << ", and " << velocities << " velocities";
    }
    r << ")\r\n";
    for (std::size_t j = 0; j < n; ++j) {
        const std::string name = kFitNames[free[j]];
        const double value = Val(fitBox(*this, free[j]).Text);
        out.names.push_back(name);
        out.values.push_back(value);
        r << name << " = " << GeneralNumber(value) << " +/- " << sigmaText(errors[j]) << "\r\n";
    }
    // The derived geometry and light, with errors through the covariance (each gradient by central
    // differences of a tenth of the curvature's steps, on copies of the form).
    if (!best.cancelled) {
        std::vector<double> steps(n);
        for (std::size_t j = 0; j < n; ++j) {
            steps[j] = 0.1 * h[j];
        }
        const auto geometry = [&](const std::vector<double>& at) {
            return atPoint(base, free, at, [](CorvaneForm& worker) { return geometryOf(worker); });
        };
        const std::array<double, 5> value = geometry(best.best);
        std::array<bool, 5> fixed{};
        const auto sigma = throughCovariance<5>(geometry, best.best, covariance, fixed, steps);
        const char* names[] = {"r1+r2", "k", "r1 (volume)", "r2 (volume)", "Light Ratio"};
        const std::string band = sceneInputs().Light.screenColour() ? channelName(comparedChannel()) : sceneInputs().Light.passband;
        const std::string units[] = {"a", "", "a", "a", band + ", phase 0.25"};
        std::string line = "Derived (errors through the covariance):";
        bool first = true;
        for (std::size_t k = 0; k < 5; ++k) {
            if (!std::isfinite(value[k])) {
                continue;
            }
            out.derived.push_back({names[k], value[k], fixed[k] ? 0.0 : sigma[k].value_or(std::nan("")), units[k]});
            const double scale = sigma[k].value_or(0) > 0 ? *sigma[k] : std::abs(value[k]) * 1e-5;
            line += std::string(first ? " " : ", ") + names[k] + " = " + GeneralNumber(toFigures(value[k], scale, 2)) +
                    (fixed[k] ? std::string(" (fixed)") : " +/- " + sigmaText(sigma[k]));
            first = false;
        }
        preparation += line + "\r\n";
    }
    r << notes << preparation << lightSetsReport() << priorReport();
    if (!VelocitySets.empty()) {
        r << derivedReport(free, best.best, covariance);
    }
    r << orbitFormsReport(free, best.best, covariance);
    if (out.weighted) {
        r << "Chi-Square per Point = " << GeneralNumber(rounded(out.objective, 1e-6)) << " (zero point "
          << GeneralNumber(rounded(out.zeroPoint, 1e-5)) << " mag)\r\n";
    } else {
        r << "RMS Residual = " << GeneralNumber(toFigures(out.objective, out.objective, 4)) << " mag (zero point "
          << GeneralNumber(rounded(out.zeroPoint, 1e-5))
          << " mag; the file gives no errors: every point weighted alike)\r\n";
    }
    const double reduced = out.weighted ? out.objective * N / dof : 1;
    if (out.weighted) {
        r << "Reduced Chi-Square = " << GeneralNumber(rounded(reduced, 1e-4)) << " (" << fitPointCount() << " points, "
          << n << " free)\r\n";
    }
    const std::vector<std::string> warnings = best.cancelled ? std::vector<std::string>{} : fitWarnings(reduced);
    r << "Evaluations: " << evaluations << ", "
      << (best.cancelled   ? "cancelled: the best point so far"
          : best.converged ? (warnings.empty() ? "converged" : "converged, but to a poor fit (see the warnings)")
                           : "stopped at the evaluation limit")
      << "\r\n";
    for (const std::string& w : warnings) {
        r << w << "\r\n";
    }
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
