// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "Evaluate.h"

#include "fitting/Fit.h"
#include "fitting/GridSearch.h"
#include "fitting/Ranks.h"

#include <algorithm>
#include <cstring>

namespace corvane::fitting {

bool isMine(std::size_t k) { return static_cast<int>(k % static_cast<std::size_t>(ranks::size())) == ranks::rank(); }

int defaultThreads() { return std::max(1, cores() / std::max(1, ranks::localSize())); }

std::string packDoubles(const std::vector<double>& values) {
    std::string bytes(values.size() * sizeof(double), '\0');
    if (!values.empty()) {
        std::memcpy(bytes.data(), values.data(), bytes.size());
    }
    return bytes;
}

std::vector<double> unpackDoubles(const std::string& bytes) {
    std::vector<double> values(bytes.size() / sizeof(double));
    if (!values.empty()) {
        std::memcpy(values.data(), bytes.data(), values.size() * sizeof(double));
    }
    return values;
}

std::vector<double> evaluateEverywhere(const std::function<double(const std::vector<double>&)>& f,
                                       const std::vector<std::vector<double>>& points, int threads) {
    const auto size = static_cast<std::size_t>(ranks::size());
    if (size == 1) {
        return evaluateParallel(f, points, threads);
    }
    std::vector<std::vector<double>> share;
    for (std::size_t k = 0; k < points.size(); ++k) {
        if (isMine(k)) {
            share.push_back(points[k]);
        }
    }
    const std::vector<std::string> gathered = ranks::allGather(packDoubles(evaluateParallel(f, share, threads)));
    std::vector<double> values(points.size());
    for (std::size_t r = 0; r < size; ++r) {
        const std::vector<double> part = unpackDoubles(gathered[r]);
        for (std::size_t j = 0; j < part.size(); ++j) {
            if (const std::size_t k = r + j * size; k < values.size()) {
                values[k] = part[j];
            }
        }
    }
    return values;
}

} // namespace corvane::fitting
