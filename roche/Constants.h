// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

namespace corvane {

// The program's angle constants. pi is deliberately the 15-digit value 3.14159265358979, not the
// full double: every angle of the model, and so every published figure, is computed with it.
inline constexpr double Pi = 3.14159265358979;
inline constexpr double HalfPi = Pi / 2;           // 1.570796326794895
inline constexpr double TwoPi = 6.28318530717958;  // as written, not 2 * Pi

} // namespace corvane
