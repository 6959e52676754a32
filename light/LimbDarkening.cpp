// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "LimbDarkening.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <vector>

namespace corvane::light {

std::optional<LimbLaw> limbLawNamed(const std::string& name) {
    for (std::size_t k = 0; k < kLimbLawNames.size(); ++k) {
        if (name == kLimbLawNames[k]) {
            return static_cast<LimbLaw>(k);
        }
    }
    return std::nullopt;
}

double limbProfile(LimbLaw law, double a, double b, double mu) {
    switch (law) {
    case LimbLaw::Linear:
        return 1 - a * std::fabs(1 - mu);
    case LimbLaw::Quadratic: {
        const double x = 1 - mu;
        return 1 - a * x - b * x * x;
    }
    case LimbLaw::SquareRoot:
        return 1 - a * (1 - mu) - b * (1 - std::sqrt(std::max(mu, 0.0)));
    case LimbLaw::Logarithmic:
        return 1 - a * (1 - mu) - (mu > 0 ? b * mu * std::log(mu) : 0.0);
    case LimbLaw::Power2:
        return 1 - a * (1 - std::pow(std::max(mu, 0.0), b));
    }
    return 1;
}

double limbDiscFlux(LimbLaw law, double a, double b) {
    switch (law) {
    case LimbLaw::Linear:
        return 1 - a / 3;
    case LimbLaw::Quadratic:
        return 1 - a / 3 - b / 6;
    case LimbLaw::SquareRoot:
        return 1 - a / 3 - b / 5;
    case LimbLaw::Logarithmic:
        return 1 - a / 3 + 2 * b / 9;
    case LimbLaw::Power2:
        return 1 - a * b / (b + 2);
    }
    return 1;
}

std::string limbProblem(LimbLaw law, double a, double b) {
    if (!std::isfinite(a) || !std::isfinite(b)) {
        return "the limb-darkening coefficients must be numbers";
    }
    if (law == LimbLaw::Power2 && !(b > 0)) {
        return "the power-2 law needs an exponent b above 0";
    }
    // The law's least value on [0, 1]: its ends and, where the derivative vanishes inside, there.
    std::vector<double> at = {0.0, 1.0};
    switch (law) {
    case LimbLaw::Linear:
    case LimbLaw::Power2: // monotonic in mu for b > 0
        break;
    case LimbLaw::Quadratic: // in x = 1 - mu: a + 2 b x = 0
        if (b != 0) {
            at.push_back(1 + a / (2 * b));
        }
        break;
    case LimbLaw::SquareRoot: // in s = sqrt(mu): 2 a s + b = 0
        if (a != 0) {
            const double s = -b / (2 * a);
            at.push_back(s * s * (s >= 0 ? 1 : -1));
        }
        break;
    case LimbLaw::Logarithmic: // a - b (ln mu + 1) = 0
        if (b != 0) {
            at.push_back(std::exp(a / b - 1));
        }
        break;
    }
    double least = 1e300, where = 0;
    for (const double mu : at) {
        if (mu >= 0 && mu <= 1) {
            const double I = limbProfile(law, a, b, mu);
            if (I < least) {
                least = I;
                where = mu;
            }
        }
    }
    if (least < 0) {
        std::ostringstream s;
        s.imbue(std::locale::classic());
        s << "with these coefficients (" << a << ", " << b << ") the " << kLimbLawNames[static_cast<std::size_t>(law)]
          << " law's intensity is negative on the disc (" << least << " of the centre's at mu = " << where << ")";
        return s.str();
    }
    return {};
}

} // namespace corvane::light
