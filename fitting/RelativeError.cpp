// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "RelativeError.h"

#include "platform/NumberFormat.h"

#include <algorithm>
#include <cmath>

namespace corvane::fitting {

using platform::GeneralNumber;

RelativeErrorResult computeRelativeError(std::span<const double> phases, std::span<const double> obs,
                                         std::span<const double> model) {
    RelativeErrorResult r;
    const std::size_t n = std::min({phases.size(), obs.size(), model.size()});
    if (n == 0) {
        r.reason = "no observed points are loaded";
        return r;
    }
    const auto [obsMin, obsMax] = std::minmax_element(obs.begin(), obs.begin() + static_cast<std::ptrdiff_t>(n));
    const auto [modelMin, modelMax] = std::minmax_element(model.begin(), model.begin() + static_cast<std::ptrdiff_t>(n));
    const double obsRange = *obsMax - *obsMin;
    const double modelRange = *modelMax - *modelMin;
    if (!std::isfinite(obsRange) || !std::isfinite(modelRange)) {
        // Each value finite, their span not: normalising would give 0 everywhere, a "perfect" fit.
        r.reason = !std::isfinite(obsRange) ? "the observed values span more than a number can hold"
                                            : "the model's values span more than a number can hold";
        return r;
    }
    if (!(obsRange > 0)) {
        r.reason = n == 1 ? "a single observed point has no range to compare"
                          : "the observed curve is flat (all values equal)";
        return r;
    }
    if (!(modelRange > 0)) {
        r.reason = "the model's light is the same at every observed phase";
        return r;
    }
    double sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double obsNorm = 1 - (obs[i] - *obsMin) / obsRange;
        const double modelNorm = 1 - (model[i] - *modelMin) / modelRange;
        sum += (modelNorm - obsNorm) * (modelNorm - obsNorm);
        r.listing += std::to_string(i + 1) + "," + GeneralNumber(phases[i]) + "," + GeneralNumber(obsNorm) + "," +
                     GeneralNumber(modelNorm) + "\r\n";
    }
    const double value = std::sqrt(sum / static_cast<double>(n));
    if (!std::isfinite(value)) {
        r.reason = "the error is not a finite number";
        r.listing.clear();
        return r;
    }
    r.value = value;
    return r;
}

std::string relativeErrorCaption(const RelativeErrorResult& r) {
    if (r.value) {
        return "Relative Error: " + platform::Format(*r.value, "0.######");
    }
    return "Relative Error: none, " + r.reason;
}

} // namespace corvane::fitting
