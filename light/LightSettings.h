// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include "light/LimbDarkening.h"

#include <string>

namespace corvane::light {

// How the surfaces radiate, beyond their temperatures and first limb-darkening coefficients.
// The defaults are the screen colours with the linear law and no third light: the light the
// drawing has always had.
struct LightSettings {
    // "" for the screen colours (the R, G, B and luminance channels of the temperature's colour),
    // "Bolometric" for sigma T^4 / pi, or the name of a band in passbands(): then every channel
    // carries the band's light, 255 S(T) / S(5772 K) per unit area of the disc's centre.
    std::string passband;
    LimbLaw law = LimbLaw::Linear;
    double limb1b = 0, limb2b = 0; // the laws' second coefficients, star 1 and star 2
    // L3: the fraction of the total light at quadrature (phase 0.25) from a third body, 0 <= L3 < 1.
    double thirdLight = 0;
    // Gravity darkening, star 1 and star 2: a point's temperature T_pole (g / g_pole)^beta, with g the
    // local effective gravity (the potential's gradient) and the temperature boxes holding T_pole;
    // 0.25 for radiative envelopes (von Zeipel), 0.08 for convective ones (Lucy).
    double gravity1 = 0, gravity2 = 0;
    // Reflection, star 1 and star 2: the bolometric albedo A, 0 <= A <= 1. A point receiving the
    // flux F_irr from its companion's visible disc re-radiates the fraction A of it, at the
    // temperature T^4 = T_own^4 + A F_irr / sigma (one pass: the heating of the heater is not fed
    // back, which changes the light by the square of the small irradiated fraction).
    double albedo1 = 0, albedo2 = 0;

    bool screenColour() const { return passband.empty(); }
};

inline constexpr const char* kScreenColour = "Screen colour";
inline constexpr const char* kBolometric = "Bolometric";

} // namespace corvane::light
