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

std::vector<std::vector<double>> evaluateVectorsEverywhere(
    const std::function<std::vector<double>(const std::vector<double>&)>& f,
    const std::vector<std::vector<double>>& points, int threads) {
    std::vector<std::vector<double>> out(points.size());
    std::vector<std::size_t> mine;
    for (std::size_t k = 0; k < points.size(); ++k) {
        if (isMine(k)) {
            mine.push_back(k);
        }
    }
    // This process's points on its threads, each vector into its own slot.
    std::vector<std::vector<double>> indices;
    for (std::size_t j = 0; j < mine.size(); ++j) {
        indices.push_back({static_cast<double>(j)});
    }
    evaluateParallel(
        [&](const std::vector<double>& index) {
            const std::size_t k = mine[static_cast<std::size_t>(index[0])];
            out[k] = f(points[k]);
            return 0.0;
        },
        indices, threads);
    if (ranks::size() == 1) {
        return out;
    }
    // Each vector as its length, then its values.
    std::vector<double> packed;
    for (const std::size_t k : mine) {
        packed.push_back(static_cast<double>(out[k].size()));
        packed.insert(packed.end(), out[k].begin(), out[k].end());
    }
    const std::vector<std::string> gathered = ranks::allGather(packDoubles(packed));
    const auto size = static_cast<std::size_t>(ranks::size());
    for (std::size_t r = 0; r < size; ++r) {
        const std::vector<double> part = unpackDoubles(gathered[r]);
        std::size_t at = 0;
        for (std::size_t k = r; k < points.size() && at < part.size(); k += size) {
            const auto n = static_cast<std::size_t>(part[at++]);
            out[k].assign(part.begin() + static_cast<std::ptrdiff_t>(at), part.begin() + static_cast<std::ptrdiff_t>(at + n));
            at += n;
        }
    }
    return out;
}

} // namespace corvane::fitting
