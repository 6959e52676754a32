// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include "lightcurve/LightCurve.h"

#include <string>

namespace corvane::fitting {

// The light-curve file, comma-separated:
//   "Phase, Red, Green, Blue, Luminance"
//   then, for every point 0..LCPoints with a measured channel of the filter, the phase
//   PhaseAt / 2 pi - 0.25 and the red, green, blue and luminance values, joined by ", " (a channel
//   the filter does not measure, or not yet measured, is an empty field);
//   then the same points again with the phase PhaseAt / 2 pi + 0.75. A point at an angle within
//   a rounding of 2 pi (the frame that closes a revolution) is left out when point 0 is there: it is
//   phase 0 again.
// A value is LCMax - v on the magnitude scale and v / LCMax otherwise; numbers in shortest general
// form. Lines end in LF.
struct LightCurveText {
    std::string text;
    int SavedLines = 0;        // data lines written
    bool SaveComplete = false; // every written point has all the filter's channels measured
};

// Builds the file. A point counts as complete when each channel ChannelFirst..ChannelLast of it
// has been measured (a black frame's 0 counts); the file is complete when it has data lines and
// every one of them is.
// With a passband (the precise photometry's light in a real band or bolometric, every channel the
// same light) the file is instead "phase,flux" and one line per point of the first pass, the
// filter's first channel as relative light (or magnitudes below the brightest point): a file the
// observations reader takes back.
LightCurveText FormatLightCurve(const lightcurve::LightCurveState& s, bool magnitudeScale,
                                const std::string& passband = {});

} // namespace corvane::fitting
