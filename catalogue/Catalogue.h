// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <span>

namespace corvane::catalogue {

// One catalogue system: its display name and the six parameters copied into the parameter boxes.
// q is the mass of star 2 over that of star 1; Iota in degrees; pole radii in units of the
// separation; temperatures in kelvin.
struct CatalogueEntry {
    const char* Name;
    double Q;
    double Iota;
    double Radius1;
    double Radius2;
    double Temp1;
    double Temp2;
};

// The "Virederez Adeza Stars", in catalogue order: entries()[k] is catalogue index k + 1.
std::span<const CatalogueEntry> entries();

inline constexpr int StarCount = 324;

} // namespace corvane::catalogue
