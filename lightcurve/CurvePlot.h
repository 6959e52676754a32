// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include "lightcurve/LightCurve.h"
#include "platform/Plot.h"

#include <span>
#include <string>
#include <vector>

// The light curve as a plot with axes: phase -0.25 .. 0.75 along the bottom, relative light (each
// channel over its own brightest point) or magnitudes below the brightest point up the side, the
// observations on the model's axis and their residuals in a strip underneath.

namespace corvane::lightcurve {

struct Ticks {
    std::vector<double> at;
    std::vector<std::string> text;
};

// Ticks at the multiples of 1, 2 or 5 x 10^k inside [min, max], the step chosen so that there are
// at most `most` of them (at least 2 for any span wider than zero); labels with as many decimals
// as the step needs. Empty for a span that is not finite or not positive.
Ticks niceTicks(double min, double max, int most);

// An axis over [min, max] with those ticks and a label.
platform::PlotAxis axisFrom(const Ticks& t, double min, double max, std::string label, bool inverted = false);

// Phase ticks over -0.25 .. 0.75: every 0.05 when a data area of `widthPixels` gives each at least
// 36 pixels, else every 0.1 (labelled every 0.1, or 0.2 below 34 pixels a label).
Ticks phaseTicks(double widthPixels);

// The phase in -0.25 .. 0.75 of any phase.
double plottedPhase(double phase);

// Observations (magnitudes m_i, errors sigma_i or none) moved onto the model's axis. modelY holds
// the model at each observed phase in the plotted unit: magnitudes below its brightest point
// (dm, when magnitudeScale) or relative light l. The zero point c = weighted mean of
// (m_i - dm_model,i) (weights 1/sigma^2, or equal without errors) puts the observations at
//   y_i = m_i - c                 (magnitude scale)
//   y_i = 10^(-0.4 (m_i - c))     (relative light; errors y_i sigma_i ln10 / 2.5)
// and the residuals are y_i - modelY_i (observed minus model). Points whose model value is not
// finite get no residual (NaN) and do not enter c.
struct ObservedOnModel {
    std::vector<double> y, error, residual;
    double zeroPoint = 0;
    bool matched = false; // a zero point could be found
};
ObservedOnModel observedOnModel(std::span<const double> mag, std::span<const double> error,
                                std::span<const double> modelY, bool magnitudeScale);

struct CurvePlotInputs {
    bool magnitudeScale = false;
    int width = 800, height = 264; // the picture the plot is laid out for (ticks follow the size)
    int comparedChannel = 0;       // the channel the observations are compared with
    std::vector<double> obsPhase, obsMag, obsError; // the observations (errors may be empty)
    // The compared channel's light at each observed phase, when it has been computed for the model
    // on show (else the plotted curve is interpolated there).
    std::vector<double> modelLightAtObs;
    double markerPhase = -1e300;
    // The passband the curve is in, when every channel carries its light: one series, named by it.
    std::string band;
};

platform::PlotDescription curvePlot(const LightCurveState& s, const CurvePlotInputs& in);

// "Luminance", "Blue", "Green", "Red".
std::string channelTitle(int channel);

} // namespace corvane::lightcurve
