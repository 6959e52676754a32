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

// The catalogue index of a uniform number u in [0, 1): Int(u * count) + 1, the product formed in
// single precision. Rounding can carry that product up to count itself for u just below 1, so the
// index is kept within 1..count.
int randomIndex(double u, int count);

} // namespace corvane::catalogue
