// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <cmath>
#include <functional>

namespace corvane::timing {

// The least value of a unimodal f on [a, b] by golden-section search, to (b - a) 0.618^80.
inline double goldenMinimum(const std::function<double(double)>& f, double a, double b) {
    const double g = (std::sqrt(5.0) - 1) / 2;
    double c = b - g * (b - a), d = a + g * (b - a);
    double fc = f(c), fd = f(d);
    for (int k = 0; k < 80; ++k) {
        if (fc < fd) {
            b = d, d = c, fd = fc;
            c = b - g * (b - a), fc = f(c);
        } else {
            a = c, c = d, fc = fd;
            d = a + g * (b - a), fd = f(d);
        }
    }
    return (a + b) / 2;
}

} // namespace corvane::timing
