// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace corvane::cli {

// "period": the files joined (one time scale), searched; prints "Period = P", "Epoch = T0" and the
// candidates. "minima": every covered eclipse timed against the ephemeris given or found; prints the
// table and the fitted ephemeris. Exit status 0, 1 when the data cannot give an answer.
// With a plot file (.png or .svg) the periodogram, or the O-C diagram, is written there too.
struct PlotSize {
    int width = 800, height = 500;
};
int runPeriodCommand(const std::vector<std::string>& files, double minPeriod, double maxPeriod, bool lombScargle,
                     const std::string& plotFile, const PlotSize& size, std::ostream& out, std::ostream& err);
int runMinimaCommand(const std::vector<std::string>& files, double period, double epoch, bool epochGiven,
                     bool quadratic, const std::string& plotFile, const PlotSize& size, std::ostream& out,
                     std::ostream& err);

} // namespace corvane::cli
