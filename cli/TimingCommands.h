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
int runPeriodCommand(const std::vector<std::string>& files, double minPeriod, double maxPeriod, bool lombScargle,
                     std::ostream& out, std::ostream& err);
int runMinimaCommand(const std::vector<std::string>& files, double period, double epoch, bool epochGiven,
                     bool quadratic, std::ostream& out, std::ostream& err);

} // namespace corvane::cli
