// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include "platform/Plot.h"

#include <vector>

// Radial-velocity curves as a plot: phase -0.25 .. 0.75 along the bottom, km/s up the side, the
// model of each star as a line, the observations of each star with their error bars, and their
// residuals (observed minus model) in a strip underneath.

namespace corvane::lightcurve {

struct VelocityObserved {
    int star = 1;
    std::vector<double> phase, velocity, error, residual; // error may be empty
};

struct VelocityPlotInputs {
    int width = 800, height = 500;
    std::vector<double> phase, v1, v2; // the model, at increasing phases in -0.25 .. 0.75
    std::vector<VelocityObserved> observed;
    double gamma = 0; // drawn as a dashed line: the systemic velocity
};

platform::PlotDescription velocityPlot(const VelocityPlotInputs& in);

} // namespace corvane::lightcurve
