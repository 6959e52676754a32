// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "StarColor.h"

#include "roche/Constants.h"

#include <algorithm>
#include <cmath>

namespace corvane::render {

Rgb StarColorTemp(double T, const ColourSettings& c) {
    if (!(T > 0) || !std::isfinite(T)) {
        return {};
    }
    const double invPow = 1.0 / (T * std::sqrt(T));
    const double lnT = std::log(T);
    Rgb rgb;
    rgb.R = 56100000 * invPow + 148;
    rgb.G = T > 6500 ? 35200000 * invPow + 184 : 100.04 * lnT - 623.6;
    rgb.B = 194.18 * lnT - 1448.6;
    for (double* v : {&rgb.R, &rgb.G, &rgb.B}) {
        *v = std::clamp(*v, 0.0, 255.0);
    }
    if (c.Stefan && c.TempMax > 0) {
        const double ratio = T / c.TempMax;
        const double factor = (ratio * ratio) * (ratio * ratio);
        rgb.R *= factor;
        rgb.G *= factor;
        rgb.B *= factor;
    }
    return rgb;
}

Rgb StarColor(double T, int StarNum, double Phi, double Theta, const ColourSettings& c, double* spotDist) {
    if (c.SpotActive && StarNum == 1) {
        // Wrap the longitude difference so a spot on the seam is not cut in half.
        double dLon = std::remainder(Theta - c.SpotLon, TwoPi);
        const double dLat = Phi - c.SpotLat;
        dLon *= std::cos(Phi);
        const double dist = std::sqrt(dLat * dLat + dLon * dLon);
        if (spotDist != nullptr) {
            *spotDist = dist;
        }
        if (dist < c.SpotRadius) {
            return StarColorTemp(c.SpotTemp, c);
        }
    }
    return StarColorTemp(T, c);
}

} // namespace corvane::render
