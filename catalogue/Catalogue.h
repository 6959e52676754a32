// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <span>
#include <string>

namespace corvane::catalogue {

// One catalogue system: its display name and the six parameters copied into the parameter boxes.
// q is the mass of star 2 over that of star 1; Iota in degrees; pole radii in units of the
// separation; temperatures in kelvin; and where the values come from (the source column of the
// catalogue file: a catalogue such as "WUMaCat (Latkovic+ 2021)", a paper, "given",
// "literature-recalled", "estimated" or "placeholder").
struct CatalogueEntry {
    const char* Name = "";
    double Q = 0;
    double Iota = 0;
    double Radius1 = 0;
    double Radius2 = 0;
    double Temp1 = 0;
    double Temp2 = 0;
    const char* Source = "";
};

// The "Virederez Adeza Stars", in catalogue order: entries()[k] is catalogue index k + 1. Read
// once from the catalogue file compiled into the program (catalogue/stars.csv), every record
// checked: a file that breaks the format stops the program at start-up with the record named.
std::span<const CatalogueEntry> entries();

// The catalogue file's text, as compiled in.
const char* catalogueText();

// Where a system's values come from, for the person: "AB And (19): WUMaCat (Latkovic+ 2021)", and
// for rows that are not a published solution a plain statement of what they are instead.
std::string sourceNote(const CatalogueEntry& e);

inline constexpr int StarCount = 324;

// The catalogue index of a uniform number u in [0, 1): Int(u * count) + 1, the product formed in
// single precision. Rounding can carry that product up to count itself for u just below 1, so the
// index is kept within 1..count.
int randomIndex(double u, int count);

} // namespace corvane::catalogue
