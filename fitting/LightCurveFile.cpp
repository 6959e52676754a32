// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "LightCurveFile.h"

#include "platform/NumberFormat.h"
#include "roche/Constants.h"

#include <algorithm>

namespace corvane::fitting {

using platform::GeneralNumber;

LightCurveText FormatLightCurve(const lightcurve::LightCurveState& s, bool magnitudeScale, const std::string& passband) {
    LightCurveText out;
    out.text = passband.empty() ? "Phase, Red, Green, Blue, Luminance\n" : magnitudeScale ? "phase,mag\n" : "phase,flux\n";
    out.SaveComplete = true;
    const int lastPoint = std::clamp(s.LCPoints, 0, lightcurve::MaxPoint);
    auto value = [&](int channel, int i) {
        const double v = s.at(channel, i);
        return magnitudeScale ? s.LCMax - v : v / s.LCMax;
    };
    const int first = std::max(s.ChannelFirst, 0);
    const int last = std::min(s.ChannelLast, 3);
    auto inFilter = [&](int channel) { return channel >= first && channel <= last; };
    for (double shift : {-0.25, 0.75}) {
        if (!passband.empty() && shift > 0) {
            break; // one pass: a file of phases, not a plot's two turns
        }
        for (int i = 0; i <= lastPoint; ++i) {
            bool any = false;
            for (int channel = first; channel <= last; ++channel) {
                any = any || s.measured(channel, i);
            }
            if (!any) {
                continue;
            }
            // The frame that closes a revolution (an angle a rounding short of 360 degrees) is phase 0
            // again: the curve already starts there.
            if (i > 0 && s.PhaseAt[static_cast<std::size_t>(i)] >= 2 * Pi * (1 - 1e-9) && s.measured(first, 0)) {
                continue;
            }
            out.text += GeneralNumber(s.PhaseAt[static_cast<std::size_t>(i)] / (2 * Pi) + shift);
            if (!passband.empty()) {
                out.text += s.measured(first, i) ? "," + GeneralNumber(value(first, i)) + "\n" : ",\n";
                out.SaveComplete = out.SaveComplete && s.measured(first, i);
                ++out.SavedLines;
                continue;
            }
            for (int channel : {3, 2, 1, 0}) {
                // A channel the filter does not measure stays an empty field: nothing measured it.
                out.text += inFilter(channel) && s.measured(channel, i) ? ", " + GeneralNumber(value(channel, i)) : ", ";
            }
            out.text += "\n";
            for (int channel = first; channel <= last; ++channel) {
                if (!s.measured(channel, i)) {
                    out.SaveComplete = false;
                }
            }
            ++out.SavedLines;
        }
    }
    out.SaveComplete = out.SaveComplete && out.SavedLines > 0;
    return out;
}

} // namespace corvane::fitting
