// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <string>
#include <vector>

namespace corvane::app {

// Raw time series for the period search and the times of minimum: times in the files' own scale,
// magnitudes (fluxes turned into them).
struct TimeSeries {
    std::vector<double> t, m;
    std::vector<std::string> notes; // what was read from each file
    std::string problem;            // why nothing was read; empty when all was
    bool ok() const { return problem.empty(); }
};

// The files one after another (one time scale). With more than one, each is brought to its own
// median magnitude: files of one star from different nights or sectors seldom share a zero point.
// A file of phases is refused: a period needs the times of the observations.
TimeSeries readTimeSeries(const std::vector<std::string>& files);

} // namespace corvane::app
