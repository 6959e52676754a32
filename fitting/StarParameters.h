// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <array>
#include <optional>
#include <string>

namespace corvane::fitting {

// A star-parameter file: the header "q, i, r1, r2, T1, T2, w1, w2" and one line of the eight texts
// of the parameter boxes (mass ratio, inclination, both pole radii, both temperatures, both
// limb-darkening coefficients) joined by ",".
inline constexpr const char* StarParametersHeader = "q, i, r1, r2, T1, T2, w1, w2";

using StarParameters = std::array<std::string, 8>;

std::string formatStarParameters(const StarParameters& texts);

// Reads the text of such a file: the header's eight fields are passed over, then eight values are
// taken, each of which must be a number. Nothing, with the reason in why, when the file is short or
// a value is not a number. The values come back as written (blanks trimmed).
std::optional<StarParameters> parseStarParameters(const std::string& text, std::string& why);

} // namespace corvane::fitting
