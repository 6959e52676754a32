// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <cstddef>
#include <vector>

// Slow trends of a light curve in time (a sector's drift, an instrument's, a night's airmass):
// polynomials in time fitted to the residuals from the model, one for the whole file or one for each
// continuous stretch of it (split where the series stops for longer than a gap). A fit alternates
// them with the model: fit, take the trend off, fit again.

namespace corvane::fitting {

// The stretch each point belongs to (0, 1, ...), numbered in time order: a new one starts wherever
// consecutive times (in time order) lie more than gap apart; gap <= 0 keeps the whole series as one.
std::vector<int> stretchesOf(const std::vector<double>& time, double gap, int* count = nullptr);

struct Trend {
    std::vector<double> value;  // the trend at each point, its weighted mean over the series taken off
    int stretches = 0;          // polynomials fitted
    int degree = 0;             // the highest degree used (a stretch with few points takes less)
};

// Weighted least-squares polynomials of the given degree in time, one for each stretch, fitted to
// y (weight 0 leaves a point out of the fit; it still gets the trend's value). Each is a Legendre
// series in the stretch's time scaled to -1..1, so a high degree stays well conditioned. The trend's
// weighted mean over all points is taken off, so the series keeps its level. Degree below 0: none.
Trend fitTrend(const std::vector<double>& time, const std::vector<double>& y, const std::vector<double>& weight,
               int degree, double gap);

// The slot of each point in binInPhase's result when the points' phases are binned into at most
// maxPoints bins (the identity when they are not binned); slots is set to the number of slots.
std::vector<std::size_t> phaseSlots(const std::vector<double>& phase, std::size_t maxPoints, std::size_t& slots);

} // namespace corvane::fitting
