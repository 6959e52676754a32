// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include "fitting/Fit.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Posterior sampling: the affine-invariant ensemble sampler of Goodman and Weare (2010) with the
// stretch move, the walkers split in two halves that are moved in turn, each half against the
// other's current positions, so a whole half is one batch of evaluations.

namespace corvane::fitting {

// The walkers' positions and log-probabilities after each step, step 0 being the start. Position
// of walker w at step s, parameter j: x[(s * walkers + w) * dimension + j].
struct Chain {
    std::vector<std::string> names; // one per parameter
    int walkers = 0;
    std::vector<double> x;
    std::vector<double> logProbability; // [s * walkers + w]
    std::uint64_t seed = 1;
    double noise = 0; // the noise the likelihood assumed when the data had no errors (0: they had)

    std::size_t dimension() const { return names.size(); }
    int steps() const { return walkers > 0 ? static_cast<int>(logProbability.size()) / walkers : 0; }
    double at(int step, int walker, std::size_t j) const {
        return x[(static_cast<std::size_t>(step) * static_cast<std::size_t>(walkers) + static_cast<std::size_t>(walker)) *
                     dimension() +
                 j];
    }
};

struct EnsembleProgress {
    int step = 0;  // steps done, counting the start
    int steps = 0; // of this many
    double acceptance = 0;
};

// Walkers in a ball around centre: centre_j + scale_j * (a standard normal), kept inside the box
// [lower, upper] (a draw outside is drawn again, and after 100 tries put at the nearest bound less a
// hair). Repeatable for a seed.
std::vector<std::vector<double>> initialBall(const std::vector<double>& centre, const std::vector<double>& scale,
                                             const std::vector<double>& lower, const std::vector<double>& upper,
                                             int walkers, std::uint64_t seed);

// The chain's start (step 0) from the walkers' positions: their log-probabilities in one batch.
Chain startChain(const BatchObjective& logProbability, const std::vector<std::string>& names,
                 const std::vector<std::vector<double>>& walkers, std::uint64_t seed);

// Moves the chain on until it has `steps` steps (counting the start). The random numbers of step s
// come from a generator seeded by (chain.seed, s) alone, so a chain resumed from its file continues
// exactly as the unbroken run would have. logProbability may return -infinity (outside the prior's
// box): such a proposal is never accepted. progress is called after every step; checkpoint, when
// given, every `checkpointSteps` steps. When cancel becomes true (on any process) the chain
// stops after the current step, so every step kept is whole.
void extendChain(Chain& chain, const BatchObjective& logProbability, int steps, double stretch,
                 const std::function<void(const EnsembleProgress&)>& progress, const std::atomic<bool>& cancel);

// The fraction of proposals accepted after step `from` (a walker moved or it did not: a proposal
// lands exactly on the old position with probability zero).
double acceptanceFraction(const Chain& chain, int from = 0);

// The integrated autocorrelation time of parameter j over the steps from `burn` (in steps): the
// autocorrelation function averaged over the walkers, tau = 1 + 2 sum_{t=1}^{M} rho(t), with Sokal's
// window, the smallest M >= 5 tau(M). Nothing when fewer than 4 steps remain or the chain is flat.
std::optional<double> autocorrelationTime(const Chain& chain, std::size_t j, int burn);

// The median and the 16th and 84th percentiles of parameter j over every walker from step `burn`.
struct Interval {
    double median = 0, low = 0, high = 0; // low and high are percentiles, not distances
};
Interval credibleInterval(const Chain& chain, std::size_t j, int burn);

// The q-th quantile (0..1) of values, linearly interpolated between order statistics.
double quantile(std::vector<double> values, double q);

// The chain as CSV: a comment line with the seed (and the noise when there was one), then
// "step,walker,NAME,...,log-likelihood" and one row per walker per step, numbers in shortest
// round-trip form so that a resumed chain starts from the very same numbers.
std::string formatChain(const Chain& chain);
// The chain read back; nothing, with why, when the text is not a whole chain (a missing step or
// walker, a bad number, names other than the header's).
std::optional<Chain> parseChain(const std::string& text, std::string& why);

} // namespace corvane::fitting
