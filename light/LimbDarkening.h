// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <array>
#include <optional>
#include <string>

// Limb-darkening laws: the intensity of a surface point relative to the centre of the disc, as a
// function of mu = cos(theta), theta the angle between the normal and the line of sight, 0 <= mu <= 1.
//   Linear        I = 1 - a (1 - mu)
//   Quadratic     I = 1 - a (1 - mu) - b (1 - mu)^2
//   Square root   I = 1 - a (1 - mu) - b (1 - sqrt(mu))
//   Logarithmic   I = 1 - a (1 - mu) - b mu ln(mu)
//   Power-2       I = 1 - a (1 - mu^b)
// a and b are the law's two coefficients (the linear law uses a only).

namespace corvane::light {

enum class LimbLaw { Linear, Quadratic, SquareRoot, Logarithmic, Power2 };

// The names offered to the person (cmbLimbLaw), in the order of the enum.
inline constexpr std::array<const char*, 5> kLimbLawNames = {"Linear", "Quadratic", "Square root", "Logarithmic",
                                                            "Power-2"};
std::optional<LimbLaw> limbLawNamed(const std::string& name);

// I(mu) of the law. The linear law is evaluated as 1 - a |1 - mu|, the expression the cell shading
// has always used, so that its curves stay what they were to the bit.
double limbProfile(LimbLaw law, double a, double b, double mu);

// The disc-integrated flux relative to pi I(1): F = Int_0^1 2 mu I(mu) d mu, in closed form:
//   linear 1 - a/3; quadratic 1 - a/3 - b/6; square root 1 - a/3 - b/5; logarithmic 1 - a/3 + 2b/9;
//   power-2 1 - a b / (b + 2).
double limbDiscFlux(LimbLaw law, double a, double b);

// Why the coefficients cannot be used (the intensity negative somewhere on the disc, found from the
// law's exact minimum on 0 <= mu <= 1; power-2 also needs b > 0; both finite), or empty when they can.
std::string limbProblem(LimbLaw law, double a, double b);

} // namespace corvane::light
