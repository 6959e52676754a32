// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "CorvaneForm.h"

#include "FitProblem.h"
#include "fitting/Evaluate.h"
#include "fitting/Ranks.h"
#include "platform/NumberFormat.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <tuple>
#include <limits>
#include <sstream>

// The posterior of the fitted parameters: the ensemble sampler driving the fit's own objective, each
// evaluation on its own copy of the form.

namespace corvane::app {

using namespace fitproblem;
using platform::GeneralNumber;
using platform::Val;

namespace {

constexpr double NegativeInfinity = -std::numeric_limits<double>::infinity();

// How many of fitResiduals' values belong to each file, in its order: the loaded light curve, the
// others, each velocity file; whatever follows is the priors'.
std::vector<std::size_t> residualGroups(const CorvaneForm& f) {
    std::vector<std::size_t> groups;
    std::size_t main = 0;
    for (int i = 1; i <= f.Curve.ObsCount; ++i) {
        const auto k = static_cast<std::size_t>(i);
        const double e = f.ObsHasErrors ? f.ObsError[k] : 1.0;
        main += f.ObsClipped[k] == 0 && e > 0 ? 1 : 0;
    }
    groups.push_back(main);
    for (const CorvaneForm::LightSet& set : f.ExtraLight) {
        std::size_t m = 0;
        for (std::size_t k = 0; k < set.mag.size(); ++k) {
            const double e = set.hasErrors ? set.error[k] : 1.0;
            m += set.clipped[k] == 0 && e > 0 ? 1 : 0;
        }
        groups.push_back(m);
    }
    if (!f.VelocitySets.empty() && f.velocityFitProblem().empty()) {
        for (const CorvaneForm::VelocitySet& set : f.VelocitySets) {
            groups.push_back(set.phase.size());
        }
    }
    return groups;
}

// Each file's sum of squared residuals, then the priors' (0 when none); nothing when the model
// cannot be computed.
std::optional<std::vector<double>> groupSums(CorvaneForm& f) {
    const std::vector<double> r = f.fitResiduals();
    const std::vector<std::size_t> groups = residualGroups(f);
    std::size_t total = 0;
    for (const std::size_t g : groups) {
        total += g;
    }
    if (r.size() < total || total == 0) {
        return std::nullopt;
    }
    std::vector<double> sums;
    std::size_t at = 0;
    for (const std::size_t g : groups) {
        double s = 0;
        for (std::size_t k = 0; k < g; ++k, ++at) {
            s += r[at] * r[at];
        }
        sums.push_back(s);
    }
    double prior = 0;
    for (; at < r.size(); ++at) {
        prior += r[at] * r[at];
    }
    if (!f.ObsHasErrors && !f.FitPriors.empty()) {
        prior += f.priorPenalty();
    }
    sums.push_back(prior);
    return sums;
}

} // namespace

std::string CorvaneForm::intervalText(const std::string& name, const fitting::Interval& r) {
    const double below = r.median - r.low, above = r.high - r.median;
    const double scale = std::min(below, above) > 0 ? std::min(below, above) : std::max(below, above);
    return name + " = " + GeneralNumber(toFigures(r.median, scale)) + " -" + GeneralNumber(toFigures(below, scale)) +
           " +" + GeneralNumber(toFigures(above, scale));
}

bool CorvaneForm::runMcmc(const McmcRequest& request, int threads,
                          const std::function<void(const std::string&)>& progress, const std::atomic<bool>& cancel,
                          McmcOutcome& out, std::string& why) {
    out = McmcOutcome{};
    auto say = [&](const std::string& text) {
        lblDCProgress.Caption = text;
        if (progress) {
            progress(text);
        }
    };
    if (Curve.ObsCount < 1) {
        why = "load an observed light curve first";
        return false;
    }
    std::vector<int> free;
    std::string notes;
    if (!chooseFree(*this, free, notes, why)) {
        return false;
    }
    const std::size_t n = free.size();
    std::vector<std::string> names;
    for (const int k : free) {
        names.push_back(kFitNames[k]);
    }
    const int walkers = request.resume ? request.resume->walkers : request.walkers;
    if (walkers < 2 * static_cast<int>(n) || walkers % 2 != 0) {
        why = "the walkers must be an even number, at least twice the free parameters (" + std::to_string(2 * n) +
              "), not " + std::to_string(walkers);
        return false;
    }
    if (request.steps < 2) {
        why = "the chain needs at least 2 steps";
        return false;
    }
    const bool weighted = ObsHasErrors;
    auto N = static_cast<double>(fitPointCount());
    double dof = std::max(1.0, N - static_cast<double>(n));

    double noise = 0;            // the residuals' noise per point (mag), without errors
    std::vector<double> scale(n); // the starting ball
    std::ostringstream r;
    if (request.resume) {
        const fitting::Chain& c = *request.resume;
        if (c.names != names) {
            std::string list;
            for (const std::string& name : c.names) {
                list += (list.empty() ? "" : ", ") + name;
            }
            why = "the chain is of other parameters (" + list + ")";
            return false;
        }
        if (weighted != (c.noise == 0)) {
            why = weighted ? "the chain was made without errors, and these observations have them"
                           : "the chain was made with errors, and these observations have none";
            return false;
        }
        noise = c.noise;
        out.resumed = true;
    } else {
        // The best fit first: the walkers start around it.
        FitOutcome fit;
        const bool fitted = runFit(
            threads,
            [&](int evaluations, double best) {
                say("Fitting first: " + std::to_string(evaluations) + " evaluations, best " +
                    GeneralNumber(rounded(best, weighted ? 1e-4 : 1e-6)));
            },
            cancel, fit, why);
        if (!fitted) {
            return false;
        }
        if (fit.cancelled) {
            why = "cancelled during the fit that comes first; nothing was sampled";
            return false;
        }
        N = static_cast<double>(fitPointCount()); // less any points the fit clipped
        dof = std::max(1.0, N - static_cast<double>(n));
        r << "Best fit first: "
          << (weighted ? "chi-square per point " + GeneralNumber(rounded(fit.objective, 1e-4))
                       : "RMS residual " + GeneralNumber(toFigures(fit.objective, fit.objective, 4)) + " mag")
          << "\r\n";
        if (!weighted) {
            if (!(fit.objective > 0)) {
                why = "the best fit matches the observations exactly: there is no noise to sample";
                return false;
            }
            noise = fit.objective * std::sqrt(N / dof);
        }
        for (std::size_t j = 0; j < n; ++j) {
            const FitScale& s = kScales[free[j]];
            const double h = std::max(s.difference, s.relativeStep * 0.05 * std::fabs(fit.values[j]));
            scale[j] = fit.errors[j] && *fit.errors[j] > 0 ? std::min(0.1 * *fit.errors[j], 10 * h) : 0.1 * h;
        }
    }

    if (request.resume) {
        loadEccentricityVector(*this); // no fit wrote the pair's boxes
    }
    const CorvaneForm base = modelPassBase();
    std::vector<double> centre(n), lower(n), upper(n);
    for (std::size_t j = 0; j < n; ++j) {
        std::tie(lower[j], upper[j]) = boundsOf(*this, free[j]);
        centre[j] = std::clamp(Val(fitBox(*this, free[j]).Text), lower[j], upper[j]);
    }
    auto single = [&](const std::vector<double>& x) -> double {
        for (std::size_t j = 0; j < n; ++j) {
            if (!(x[j] >= lower[j] && x[j] <= upper[j])) {
                return NegativeInfinity; // outside the prior's box: no model needed
            }
        }
        return atPoint(base, free, x, [&](CorvaneForm& worker) {
            if (request.scaleErrors) {
                const auto sums = groupSums(worker);
                if (!sums) {
                    return NegativeInfinity;
                }
                const std::vector<std::size_t> groups = residualGroups(worker);
                double l = -0.5 * sums->back();
                for (std::size_t g = 0; g < groups.size(); ++g) {
                    if (groups[g] > 0) {
                        l -= 0.5 * static_cast<double>(groups[g]) * std::log(std::max((*sums)[g], 1e-300));
                    }
                }
                return std::isfinite(l) ? l : NegativeInfinity;
            }
            if (weighted && (!worker.VelocitySets.empty() || !worker.ExtraLight.empty())) {
                const auto v = worker.fitObjective(); // the light's and the velocities' chi-square per point
                return v && std::isfinite(*v) ? -0.5 * N * *v : NegativeInfinity;
            }
            // Priors weigh as they do in the fit (the velocities' objective holds them already).
            const double prior = worker.FitPriors.empty() ? 0.0 : worker.priorPenalty();
            if (weighted) {
                const auto chi = worker.chiSquareAtObs();
                return chi && chi->points > 0 && std::isfinite(chi->chi2 + prior) ? -0.5 * (chi->chi2 + prior)
                                                                                   : NegativeInfinity;
            }
            const auto v = worker.fitObjective();
            return v && std::isfinite(*v) && std::isfinite(prior) ? -0.5 * N * (*v / noise) * (*v / noise) - 0.5 * prior
                                                                  : NegativeInfinity;
        });
    };
    const fitting::BatchObjective logLikelihood = [&](const std::vector<std::vector<double>>& points) {
        return fitting::evaluateEverywhere(single, points, threads);
    };

    fitting::Chain chain;
    if (request.resume) {
        chain = *request.resume;
    } else {
        say("Starting " + std::to_string(walkers) + " walkers");
        chain = fitting::startChain(logLikelihood, names,
                                    fitting::initialBall(centre, scale, lower, upper, walkers, request.seed),
                                    request.seed);
        chain.noise = noise;
        if (std::none_of(chain.logProbability.begin(), chain.logProbability.end(),
                         [](double l) { return std::isfinite(l); })) {
            why = "the model cannot be computed anywhere around the best fit";
            return false;
        }
    }
    auto lastCheckpoint = std::chrono::steady_clock::now();
    fitting::extendChain(
        chain, logLikelihood, request.steps, 2,
        [&](const fitting::EnsembleProgress& p) {
            say("Sampling: step " + std::to_string(p.step) + " of " + std::to_string(p.steps) + ", acceptance " +
                platform::Format(p.acceptance, "0.00"));
            if (request.checkpoint && std::chrono::steady_clock::now() - lastCheckpoint > std::chrono::seconds(60)) {
                request.checkpoint(chain);
                lastCheckpoint = std::chrono::steady_clock::now();
            }
        },
        cancel);

    const int steps = chain.steps();
    out.cancelled = steps < request.steps;
    out.walkers = walkers;
    out.steps = steps;
    out.burn = std::clamp(request.burn >= 0 ? request.burn : steps / 4, 0, std::max(0, steps - 2));
    out.names = names;
    out.acceptance = fitting::acceptanceFraction(chain, out.burn);
    double longest = 0;
    for (std::size_t j = 0; j < n; ++j) {
        out.intervals.push_back(fitting::credibleInterval(chain, j, out.burn));
        out.tau.push_back(fitting::autocorrelationTime(chain, j, out.burn));
        longest = std::max(longest, out.tau.back().value_or(static_cast<double>(steps)));
    }
    out.shortChain = static_cast<double>(steps - out.burn) < 50 * longest;
    if (request.scaleErrors) {
        // The scales at the centre the walkers started from, and the fit's reduced chi-square there.
        atPoint(base, free, centre, [&](CorvaneForm& worker) {
            const auto sums = groupSums(worker);
            const std::vector<std::size_t> groups = residualGroups(worker);
            double chi2 = 0;
            for (std::size_t g = 0; sums && g < groups.size(); ++g) {
                out.errorScales.push_back(groups[g] > 0 ? std::sqrt((*sums)[g] / static_cast<double>(groups[g])) : 1.0);
                chi2 += (*sums)[g];
            }
            if (weighted && sums) {
                out.reducedChiSquare = (chi2 + sums->back()) / dof;
            }
            return 0;
        });
    } else if (weighted) {
        double best = NegativeInfinity;
        for (const double l : chain.logProbability) {
            best = std::isfinite(l) ? std::max(best, l) : best;
        }
        out.reducedChiSquare = std::isfinite(best) ? -2 * best / dof : 0;
    }

    std::ostringstream head;
    head << "Posterior by the ensemble sampler (" << (precisePhotometry() ? "precise" : "pixel") << " photometry, "
         << Curve.ObsCount << " observed points, " << walkers << " walkers, " << steps << " steps, " << out.burn
         << " burn-in, seed " << chain.seed << (out.resumed ? ", resumed" : "") << ")\r\n";
    head << r.str();
    for (std::size_t j = 0; j < n; ++j) {
        head << intervalText(names[j], out.intervals[j]) << "  (autocorrelation "
             << (out.tau[j] ? GeneralNumber(toFigures(*out.tau[j], *out.tau[j])) + " steps" : std::string("unknown"))
             << ")\r\n";
    }
    head << notes;
    head << "Acceptance fraction = " << platform::Format(out.acceptance, "0.000") << "\r\n";
    head << "Intervals: the median and the 16th and 84th percentiles of every walker after the burn-in\r\n";
    if (!weighted && !request.scaleErrors) {
        head << "The file gives no errors: the noise is taken from the best fit's residuals ("
             << GeneralNumber(toFigures(noise, noise)) << " mag per point)\r\n";
    }
    if (request.scaleErrors) {
        head << "Errors: each file's errors scaled by a factor of its own, marginalised (a Jeffreys prior), so the "
                "intervals widen with the residuals; at the start the factors are";
        for (std::size_t g = 0; g < out.errorScales.size(); ++g) {
            head << (g == 0 ? " " : ", ") << GeneralNumber(toFigures(out.errorScales[g], out.errorScales[g], 3));
        }
        head << (weighted ? "" : " mag (the file gives no errors)") << "\r\n";
    } else if (out.reducedChiSquare > McmcOutcome::BadFit) {
        head << "Warning: the best fit's reduced chi-square is " << GeneralNumber(toFigures(out.reducedChiSquare, out.reducedChiSquare, 3))
             << ": the model does not fit to within the errors, and these intervals assume the errors are right, so "
                "they are too narrow (scaling the errors by sqrt(chi2 / (N - n)) = "
             << GeneralNumber(toFigures(std::sqrt(out.reducedChiSquare), std::sqrt(out.reducedChiSquare), 3))
             << " widens them about as much)\r\n";
    }
    if (out.shortChain) {
        head << "Warning: the chain is shorter than 50 autocorrelation times (" << (steps - out.burn)
             << " steps after the burn-in, the longest time " << GeneralNumber(toFigures(longest, longest))
             << " steps): run it longer before trusting the intervals\r\n";
    }
    if (out.cancelled) {
        head << "Cancelled: the " << steps << " steps made are kept\r\n";
    }
    out.report = head.str();
    out.chain = std::move(chain);
    Text1.Text = out.report + Text1.Text;
    Text1.Visible = true;
    lblDCProgress.Caption = std::string(out.cancelled ? "Uncertainties cancelled" : "Uncertainties done") + ": " +
                            std::to_string(steps) + " steps of " + std::to_string(walkers) + " walkers, acceptance " +
                            platform::Format(out.acceptance, "0.00");
    LastMcmc = std::make_shared<const McmcOutcome>(out);
    return true;
}

} // namespace corvane::app
