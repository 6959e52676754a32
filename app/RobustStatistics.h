// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

// The median and the robust standard deviation the fit's checks and its clipping share.

namespace corvane::app {

inline double median(std::vector<double> v) {
    if (v.empty()) {
        return std::nan("");
    }
    const auto mid = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
    std::nth_element(v.begin(), mid, v.end());
    const double upper = *mid;
    if (v.size() % 2 == 1) {
        return upper;
    }
    return (upper + *std::max_element(v.begin(), mid)) / 2;
}

// 1.4826 times the median absolute deviation: the standard deviation of Gaussian noise, unmoved by a
// few outliers.
inline double robustSigma(const std::vector<double>& v, double centre) {
    std::vector<double> d;
    d.reserve(v.size());
    for (const double x : v) {
        d.push_back(std::abs(x - centre));
    }
    return 1.4826 * median(d);
}

} // namespace corvane::app
