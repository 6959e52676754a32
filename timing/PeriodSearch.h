// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <atomic>
#include <span>
#include <string>
#include <vector>

// Periods of eclipsing binaries from a raw time series (times in days, values in magnitudes).

namespace corvane::timing {

// The phase dispersion of the series folded on period P: the points are binned into `bins` equal
// bins of phase, and
//   theta(P) = sum over bins of (n_b - 1) s_b^2 / (N - bins) / s^2
// (Stellingwerf 1978): the pooled scatter within the bins over the total scatter, near 1 for a wrong
// period and small for the right one. Empty bins do not count. Larger than 1 means nothing.
double phaseDispersion(std::span<const double> t, std::span<const double> m, double period, int bins = 50);

// The Lomb-Scargle power (normalised by the variance, 0..N/2) at frequency f (cycles per day).
double lombScargle(std::span<const double> t, std::span<const double> m, double frequency);

struct Candidate {
    double period = 0; // days
    double power = 0;  // 1 - theta (dispersion) or the Lomb-Scargle power
};

enum class Method { Dispersion, LombScargle };

struct PeriodSearch {
    Method method = Method::Dispersion;
    double minPeriod = 0, maxPeriod = 0; // the range searched
    std::vector<double> periods, power;  // the periodogram, in increasing frequency
    std::vector<Candidate> candidates;   // the five best separate peaks, best first (refined)
    double period = 0;                   // the chosen period
    bool doubled = false;                // the best peak was half the period (two unequal minima)
    std::vector<double> leftOut;         // times far outside the rest of the series, not searched
    bool cancelled = false;              // stopped by the caller's cancel
    std::string why;                     // how the period was chosen; or why there is none
    bool ok() const { return period > 0; }
};

// Searches trial frequencies from 1/maxPeriod to 1/minPeriod (0 for either: three times the median
// sampling interval and at least 0.05 d; half the time span). Stretches of the series separated by
// gaps longer than a fifth of the span (seasons, sectors) are each brought to their own median and
// searched on their own, the statistics summed, in steps of 1/(10 L), L the longest stretch, so
// that no peak falls between trials; near the ten best peaks the whole series is then searched in
// steps of 1/(100 T), T the span, which finds the fringe that counts the cycles across the gaps,
// refined by golden section; the five best are the candidates. An eclipsing binary's strongest peak is often half its period: the series
// is folded on twice the best period, and when its two halves differ (the minimum at phase 0 deeper
// than the one at 0.5 by more than four times their combined error, or their shapes differing by as
// much) the doubled period is taken. Refused (no period, `why` says) for fewer than 20 points, a
// span shorter than two trial periods, or more than MaxTrials trial periods (a range to narrow).
// A point at either end of the series more than a thousand times the rest's span away from it (a
// mistyped time: 24592459001.28 among times near 2459001) is left out and listed in `leftOut`,
// as many as a tenth of the points. When *cancel becomes true the search stops within a few
// thousand trials, with no period and `cancelled` set.
inline constexpr double MaxTrials = 5e6;
PeriodSearch searchPeriod(std::span<const double> t, std::span<const double> m, double minPeriod = 0,
                          double maxPeriod = 0, Method method = Method::Dispersion,
                          const std::atomic<bool>* cancel = nullptr);

} // namespace corvane::timing
