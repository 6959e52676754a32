// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "Detrend.h"

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace corvane::fitting {

std::vector<int> stretchesOf(const std::vector<double>& time, double gap, int* count) {
    std::vector<std::size_t> order(time.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return time[a] < time[b]; });
    std::vector<int> stretch(time.size(), 0);
    int current = 0;
    for (std::size_t k = 0; k < order.size(); ++k) {
        if (k > 0 && gap > 0 && time[order[k]] - time[order[k - 1]] > gap) {
            ++current;
        }
        stretch[order[k]] = current;
    }
    if (count != nullptr) {
        *count = time.empty() ? 0 : current + 1;
    }
    return stretch;
}

Trend fitTrend(const std::vector<double>& time, const std::vector<double>& y, const std::vector<double>& weight,
               int degree, double gap) {
    Trend out;
    out.value.assign(time.size(), 0.0);
    if (degree < 0 || time.empty()) {
        return out;
    }
    int count = 0;
    const std::vector<int> stretch = stretchesOf(time, gap, &count);
    for (int s = 0; s < count; ++s) {
        std::vector<std::size_t> members, weighed;
        double lo = INFINITY, hi = -INFINITY;
        for (std::size_t i = 0; i < time.size(); ++i) {
            if (stretch[i] == s) {
                members.push_back(i);
                lo = std::min(lo, time[i]);
                hi = std::max(hi, time[i]);
                if (weight[i] > 0 && std::isfinite(y[i])) {
                    weighed.push_back(i);
                }
            }
        }
        if (weighed.empty()) {
            continue; // nothing to fit: no trend taken off
        }
        // Fewer points than coefficients, or a stretch of one instant, takes a lower degree.
        int d = std::min<int>(degree, static_cast<int>(weighed.size()) - 1);
        if (!(hi > lo)) {
            d = 0;
        }
        const auto terms = static_cast<Eigen::Index>(d + 1);
        auto basis = [&](double t, Eigen::Index row, Eigen::MatrixXd& a) {
            const double u = hi > lo ? 2 * (t - lo) / (hi - lo) - 1 : 0.0;
            double previous = 1, current = u;
            a(row, 0) = 1;
            for (Eigen::Index n = 1; n < terms; ++n) {
                a(row, n) = current;
                const double next = ((2.0 * static_cast<double>(n) + 1) * u * current - static_cast<double>(n) * previous) /
                                    (static_cast<double>(n) + 1);
                previous = current;
                current = next;
            }
        };
        Eigen::MatrixXd a(static_cast<Eigen::Index>(weighed.size()), terms);
        Eigen::VectorXd b(static_cast<Eigen::Index>(weighed.size()));
        for (std::size_t k = 0; k < weighed.size(); ++k) {
            const auto row = static_cast<Eigen::Index>(k);
            const double w = std::sqrt(weight[weighed[k]]);
            basis(time[weighed[k]], row, a);
            a.row(row) *= w;
            b(row) = w * y[weighed[k]];
        }
        const Eigen::VectorXd c = a.colPivHouseholderQr().solve(b);
        Eigen::MatrixXd one(1, terms);
        for (const std::size_t i : members) {
            basis(time[i], 0, one);
            out.value[i] = (one * c)(0);
        }
        ++out.stretches;
        out.degree = std::max(out.degree, d);
    }
    double sum = 0, weights = 0;
    for (std::size_t i = 0; i < time.size(); ++i) {
        if (weight[i] > 0 && std::isfinite(y[i])) {
            sum += weight[i] * out.value[i];
            weights += weight[i];
        }
    }
    const double mean = weights > 0 ? sum / weights : 0.0;
    for (double& v : out.value) {
        v -= mean;
    }
    return out;
}

std::vector<std::size_t> phaseSlots(const std::vector<double>& phase, std::size_t maxPoints, std::size_t& slots) {
    std::vector<std::size_t> slot(phase.size());
    if (phase.size() <= maxPoints || maxPoints == 0) {
        std::iota(slot.begin(), slot.end(), std::size_t{0});
        slots = phase.size();
        return slot;
    }
    std::vector<std::size_t> bin(phase.size());
    std::vector<char> used(maxPoints, 0);
    for (std::size_t i = 0; i < phase.size(); ++i) {
        const double p = phase[i] - std::floor(phase[i]);
        bin[i] = std::min(static_cast<std::size_t>(p * static_cast<double>(maxPoints)), maxPoints - 1);
        used[bin[i]] = 1;
    }
    // Empty bins are dropped: a bin's slot is the number of used bins before it.
    std::vector<std::size_t> index(maxPoints, 0);
    std::size_t next = 0;
    for (std::size_t b = 0; b < maxPoints; ++b) {
        index[b] = next;
        next += used[b] != 0 ? 1 : 0;
    }
    for (std::size_t i = 0; i < phase.size(); ++i) {
        slot[i] = index[bin[i]];
    }
    slots = next;
    return slot;
}

} // namespace corvane::fitting
