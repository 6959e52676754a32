// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

// Temperature to colour. Temperatures in kelvin, angles in radians, intensities 0..255 (before the
// Stefan-Boltzmann factor, which may scale them below).

namespace corvane::render {

struct Rgb {
    double R = 0;
    double G = 0;
    double B = 0;
};

// What the colour depends on besides the temperature.
struct ColourSettings {
    bool Stefan = false;     // "Stefan-Boltzmann": scale by (T / TempMax)^4
    double TempMax = 8200;   // hottest temperature of the system
    bool SpotActive = false; // the star spot, always on star 1
    double SpotTemp = 5000;
    double SpotLat = 0;      // radians
    double SpotLon = 0;      // radians
    double SpotRadius = 0;   // radians
};

// Empirical colour of a black body at T:
//   R = 56100000 T^-1.5 + 148
//   G = 100.04 ln T - 623.6            (T <= 6500)
//     = 35200000 T^-1.5 + 184          (T > 6500)
//   B = 194.18 ln T - 1448.6
// each clamped to 0..255, then, with the Stefan-Boltzmann option, multiplied by (T / TempMax)^4.
// A temperature that is not positive gives black; a TempMax that is not positive skips the scaling.
Rgb StarColorTemp(double T, const ColourSettings& c);

// The colour of a point of star StarNum at latitude Phi, longitude Theta: the spot temperature when
// the spot is active, StarNum is 1 and the point lies strictly within SpotRadius of the spot centre,
// by the flat distance sqrt((Phi - SpotLat)^2 + (dLon cos Phi)^2) with dLon = Theta - SpotLon wrapped
// into -pi..pi; otherwise the colour of T. spotDist, when given, receives that distance (only when
// the test runs).
Rgb StarColor(double T, int StarNum, double Phi, double Theta, const ColourSettings& c, double* spotDist = nullptr);

} // namespace corvane::render
