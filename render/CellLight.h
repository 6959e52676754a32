// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include "render/Scene.h"

// The cells' shading under the light settings beyond the screen colours and the linear law: the
// picture in a passband, with any limb-darkening law, gravity darkening and reflection. With the
// settings at their defaults none of this is used and the cells shade as they always have.
//
// A cell's colour comes from the temperature of the surface at its centre's direction (Phi, Theta):
// the star's (or the spot's), times (g / g_pole)^beta with g the gravity of the star's own
// equipotential there, heated by the companion as light::irradiation says (the companion as the
// sphere of its volume at its mean effective temperature, both from a coarse quadrature: the
// picture's approximation of what the Precise photometry integrates exactly). In a passband every channel is 255 S(T) / S(TempMax),
// so the hottest pole is white at the disc's centre; in the screen colours the colour of T. The
// brightness is the law at |CosView| with the star's coefficients. Neck cells take the band and the
// law, not gravity darkening or reflection; spheres no gravity darkening (the spinning single star
// its own), the single star no reflection.

namespace corvane::render {

// Whether the settings change the shading of the cells (third light does not: it is no part of
// the picture).
bool lightShadesCells(const light::LightSettings& l);

// The brightness factor of a cell of star StarNum (1, or 2 for anything else) seen at cosView.
double cellDarkening(const SceneInputs& in, int StarNum, double cosView);

// The colour of the cell of star StarNum at (Phi, Theta) whose star has the temperature T; spotDist
// as StarColor sets it.
Rgb cellColour(const SceneInputs& in, int StarNum, double Phi, double Theta, double T, double* spotDist);

// The colour of a surface at temperature T under the settings (the band's grey, or the screen colour).
Rgb temperatureColour(const SceneInputs& in, double T);

} // namespace corvane::render
