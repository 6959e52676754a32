// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include "platform/Plot.h"
#include "timing/Report.h"

// The periodogram and the O-C diagram as plots, for the window and for files (PNG, SVG).

namespace corvane::timing {

// Power against trial period (a logarithmic period axis, labelled in days), the five candidates as
// boxes and the chosen period marked by the vertical line. Laid out for width x height pixels.
platform::PlotDescription periodogramPlot(const PeriodSearch& search, int width, int height);

// Whether O-C reads best in minutes (every |O-C| and error under 0.05 d) or in days.
bool oMinusCInMinutes(const MinimaResult& minima);

// Cycle E against O-C (against the ephemeris the minima were labelled with, `report.period` and
// `report.epoch`), primaries (dots) and secondaries (boxes) in two colours with their error bars, and the fitted
// ephemeris as a line (a parabola for a quadratic one; a second line for the secondaries when they
// are displaced from phase 0.5).
platform::PlotDescription oMinusCPlot(const TimingReport& report, bool minutes, int width, int height);

} // namespace corvane::timing
