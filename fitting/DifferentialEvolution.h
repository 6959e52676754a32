// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include "fitting/Fit.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

// A global search for a fit whose start lies far from the answer (the model without eclipses where
// the data has them, a mass ratio in the wrong valley): differential evolution (Storn & Price's
// rand/1/bin) over the parameters' bounds. Each generation is one batch, so its trials are computed
// on every thread and process at once. The result is a start for the local optimiser, not an answer.

namespace corvane::fitting {

struct EvolutionOptions {
    std::vector<double> lower, upper; // the box searched
    int population = 0;               // members; 0: ten for each parameter, at least 16
    int generations = 40;             // at most
    double weight = 0.7;              // F, the scale of the difference vector
    double crossover = 0.9;           // CR, the share of parameters taken from the trial
    std::uint64_t seed = 1;           // the same seed searches the same way
    // Stop when the population's values lie within this fraction of the best (they have gathered
    // into one valley).
    double tolerance = 1e-3;
};

struct EvolutionResult {
    std::vector<double> best;
    double value = 0;
    int evaluations = 0;
    int generations = 0;
    bool cancelled = false;
};

// The start is one member of the first population; the others are spread over the box by a Latin
// hypercube (each parameter's range cut into as many strata as members, one member in each).
EvolutionResult minimiseDifferentialEvolution(const BatchObjective& f, const std::vector<double>& start,
                                              const EvolutionOptions& options,
                                              const std::function<void(int evaluations, double best)>& progress,
                                              const std::atomic<bool>& cancel);

} // namespace corvane::fitting
