// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "DifferentialEvolution.h"

#include "platform/UniformRandom.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace corvane::fitting {

namespace {

double finiteOr(double v) { return std::isfinite(v) ? v : std::numeric_limits<double>::infinity(); }

} // namespace

EvolutionResult minimiseDifferentialEvolution(const BatchObjective& f, const std::vector<double>& start,
                                              const EvolutionOptions& options,
                                              const std::function<void(int evaluations, double best)>& progress,
                                              const std::atomic<bool>& cancel) {
    const std::size_t n = start.size();
    const auto members = static_cast<std::size_t>(options.population > 0 ? std::max(options.population, 4)
                                                                         : std::max<int>(16, 10 * static_cast<int>(n)));
    platform::UniformRandom random(options.seed);
    auto pick = [&random](std::size_t below) {
        return std::min(below - 1, static_cast<std::size_t>(random.next() * static_cast<double>(below)));
    };
    // The first population: the start, and a Latin hypercube over the box.
    std::vector<std::vector<double>> population(members, std::vector<double>(n));
    for (std::size_t j = 0; j < n; ++j) {
        std::vector<std::size_t> strata(members - 1);
        for (std::size_t k = 0; k < strata.size(); ++k) {
            strata[k] = k;
        }
        for (std::size_t k = strata.size(); k > 1; --k) {
            std::swap(strata[k - 1], strata[pick(k)]);
        }
        const double lo = options.lower[j], hi = options.upper[j];
        population[0][j] = std::clamp(start[j], lo, hi);
        for (std::size_t m = 1; m < members; ++m) {
            population[m][j] =
                lo + (hi - lo) * (static_cast<double>(strata[m - 1]) + random.next()) / static_cast<double>(members - 1);
        }
    }
    std::vector<double> values = f(population);
    for (double& v : values) {
        v = finiteOr(v);
    }
    EvolutionResult out;
    out.evaluations = static_cast<int>(members);
    auto bestIndex = [&values] {
        return static_cast<std::size_t>(std::min_element(values.begin(), values.end()) - values.begin());
    };
    for (int g = 0; g < options.generations && !cancel.load(); ++g) {
        std::vector<std::vector<double>> trials(members, std::vector<double>(n));
        for (std::size_t m = 0; m < members; ++m) {
            std::size_t a = 0, b = 0, c = 0;
            do {
                a = pick(members);
            } while (a == m);
            do {
                b = pick(members);
            } while (b == m || b == a);
            do {
                c = pick(members);
            } while (c == m || c == a || c == b);
            const std::size_t always = pick(n);
            for (std::size_t j = 0; j < n; ++j) {
                double v = population[m][j];
                if (j == always || random.next() < options.crossover) {
                    v = population[a][j] + options.weight * (population[b][j] - population[c][j]);
                    // A trial beyond a bound comes back between the bound and where its parent stood.
                    if (v < options.lower[j]) {
                        v = options.lower[j] + random.next() * (population[m][j] - options.lower[j]);
                    } else if (v > options.upper[j]) {
                        v = options.upper[j] - random.next() * (options.upper[j] - population[m][j]);
                    }
                }
                trials[m][j] = v;
            }
        }
        const std::vector<double> tried = f(trials);
        out.evaluations += static_cast<int>(members);
        out.generations = g + 1;
        if (cancel.load()) {
            break;
        }
        for (std::size_t m = 0; m < members; ++m) {
            if (const double v = finiteOr(tried[m]); v <= values[m]) {
                population[m] = trials[m];
                values[m] = v;
            }
        }
        const double best = values[bestIndex()];
        if (progress) {
            progress(out.evaluations, best);
        }
        const double worst = *std::max_element(values.begin(), values.end());
        if (std::isfinite(worst) && worst - best <= options.tolerance * std::abs(best) + 1e-300) {
            break;
        }
    }
    out.cancelled = cancel.load();
    const std::size_t k = bestIndex();
    out.best = population[k];
    out.value = values[k];
    return out;
}

} // namespace corvane::fitting
