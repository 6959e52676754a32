// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include "timing/Minima.h"
#include "timing/PeriodSearch.h"

#include <optional>
#include <span>
#include <string>
#include <vector>

// A raw time series taken to a period, an epoch, its times of minimum and an ephemeris: the one
// sequence behind the batch tool's `period` and `minima` and the window's "Find Period".

namespace corvane::timing {

struct TimingRequest {
    double minPeriod = 0, maxPeriod = 0; // the search range (0: the defaults of searchPeriod)
    Method method = Method::Dispersion;
    double period = 0;            // given: no search
    std::optional<double> epoch;  // given: not timed
    bool quadratic = false;       // fit T0 + P E + Q E^2
    const std::atomic<bool>* cancel = nullptr; // the period search stops when it becomes true
};

struct TimingReport {
    PeriodSearch search;     // empty when the period was given
    bool searched = false;
    double period = 0, epoch = 0; // the ephemeris the minima were labelled with
    MinimaResult minima;
    std::optional<Ephemeris> ephemeris; // fitted to the minima
    std::string problem;     // why there is no period or epoch; empty when there are
    std::string source, sourceNote; // the file searched and what was read from it
    bool ok() const { return problem.empty(); }
};

TimingReport analyseTiming(std::span<const double> t, std::span<const double> m, const TimingRequest& request);

// Times to a microday (0.09 s) whatever their size, periods to 1e-9 of themselves, errors to three
// significant figures: the digits the numbers carry, no more.
std::string timeText(double days);
std::string periodText(double days);
std::string errorText(double value);

// The minima as the batch tool prints them: the header `time,error,type,cycle,o_c` and a line each.
std::string minimaCsv(const MinimaResult& r);
// "Ephemeris: T0 = VALUE +- ERR, P = VALUE +- ERR" (and ", Q = ... (dP/dE = 2Q)").
std::string ephemerisText(const Ephemeris& e);
// "Secondary minima: D +- ERR d after phase 0.5 (e cos(omega) ~ X)", or "" when not fitted.
std::string secondaryShiftText(const Ephemeris& e);

} // namespace corvane::timing
