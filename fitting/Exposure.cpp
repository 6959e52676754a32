// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "Exposure.h"

#include <algorithm>
#include <cmath>

namespace corvane::fitting {

ExposureAverage averageOverExposure(std::span<const double> phases, double width, double tolerance,
                                    const std::function<std::vector<double>(const std::vector<double>&)>& lights,
                                    int maxLevel) {
    ExposureAverage out;
    const std::vector<double> centre(phases.begin(), phases.end());
    out.light = lights(centre);
    if (!(width > 0) || !std::isfinite(width) || phases.empty()) {
        return out;
    }
    const std::size_t n = phases.size();
    double largest = 0;
    for (const double l : out.light) {
        largest = std::max(largest, std::fabs(l));
    }
    tolerance *= largest;
    // The trapezoid rule on 2^level equal parts: ends[i] = (f(a) + f(b)) / 2, inner[i] the sum at the
    // inner points; the average is (ends + inner) / 2^level.
    std::vector<double> ends(n), inner(out.light), average(n);
    {
        std::vector<double> at;
        at.reserve(2 * n);
        for (const double p : phases) {
            at.push_back(p - 0.5 * width);
            at.push_back(p + 0.5 * width);
        }
        const std::vector<double> values = lights(at);
        for (std::size_t i = 0; i < n; ++i) {
            ends[i] = 0.5 * (values[2 * i] + values[2 * i + 1]);
            average[i] = 0.5 * (ends[i] + inner[i]); // level 1: the ends and the centre
        }
    }
    std::vector<int> level(n, 1);
    // Level 1 against level 0 (the ends alone) decides whether a phase goes on.
    std::vector<std::size_t> open;
    for (std::size_t i = 0; i < n; ++i) {
        if (!(std::fabs(average[i] - ends[i]) < tolerance)) {
            open.push_back(i);
        }
    }
    for (int l = 2; l <= maxLevel && !open.empty(); ++l) {
        const int parts = 1 << l;
        const double h = width / parts;
        std::vector<double> at;
        at.reserve(open.size() * static_cast<std::size_t>(parts / 2));
        for (const std::size_t i : open) {
            for (int k = 1; k < parts; k += 2) {
                at.push_back(phases[i] - 0.5 * width + k * h);
            }
        }
        const std::vector<double> values = lights(at);
        std::size_t next = 0;
        std::vector<std::size_t> still;
        for (const std::size_t i : open) {
            for (int k = 1; k < parts; k += 2) {
                inner[i] += values[next++];
            }
            level[i] = l;
            const double now = (ends[i] + inner[i]) / parts;
            const bool settled = std::fabs(now - average[i]) < tolerance;
            average[i] = now;
            if (!settled) {
                still.push_back(i);
            }
        }
        open = std::move(still);
    }
    out.light = average;
    long long total = 0;
    for (const int l : level) {
        const int points = (1 << l) + 1;
        total += points;
        out.largest = std::max(out.largest, points);
    }
    out.mean = static_cast<double>(total) / static_cast<double>(n);
    return out;
}

} // namespace corvane::fitting
