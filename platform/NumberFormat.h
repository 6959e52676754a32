// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <string>
#include <string_view>

namespace corvane::platform {

// The leading-number parse every text box is read with.
// Skips leading blanks (spaces, tabs), takes an optional sign, digits, an optional decimal point with
// digits and an optional exponent (e or E, only when digits follow it), and ignores whatever comes
// after: "82abc" is 82, "abc" and "" are 0, " -1.5e2x" is -150, "1e" is 1.
// Never returns NaN or infinity: a number too large for a double saturates at +/-DBL_MAX and one
// too small in magnitude becomes 0.
double Val(std::string_view text);

// Formats a number with a numeric pattern of the kind "0.####", "##.###", "#0.#", "0.######", "000".
// Before the decimal point, each '0' is a required digit and '#' an optional one; after it, each '0'
// is a required decimal and '#' an optional one. The decimal point, when the pattern has one, is
// always shown: Format(1, "0.####") is "1." and Format(0.5, "##.###") is ".5".
// Rounding is half away from zero on the number's 15-significant-digit decimal form. A result that
// rounds to zero carries no minus sign. A non-finite value is formatted as 0.
std::string Format(double value, std::string_view pattern);

// strtod with the decimal point whatever the process's locale (a window under a decimal-comma locale
// must still read "0.305" as 0.305): the same contract as std::strtod, including *end and errno.
double strtodC(const char* text, char** end);

// The shortest general form: up to 15 significant digits, trailing zeros dropped, no decimal
// point for whole numbers ("0.305", "2", "45000", "-0.1"). Magnitudes from 1e15 up or below 1e-4
// use exponent form ("1E+15", "1.5E-05"). A non-finite value is formatted as 0.
std::string GeneralNumber(double value);

} // namespace corvane::platform
