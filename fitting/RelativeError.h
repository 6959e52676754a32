// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <optional>
#include <span>
#include <string>

namespace corvane::fitting {

// The relative error of a model against an observed curve. Both series are normalised to 0..1
// over their own extremes and inverted,
//   ObsNorm = 1 - (obs - obsMin) / (obsMax - obsMin),   ModelNorm = 1 - (model - min) / (max - min),
// and the result is the root-mean-square of ModelNorm - ObsNorm: 0 for identical shapes, at most 1.
// obs must be brighter-is-larger (the flipped observed values), like the model's brightness.
struct RelativeErrorResult {
    std::optional<double> value; // nothing when a series is flat
    std::string reason;          // why there is no value
    std::string listing;         // one line per point: i,phase,ObsNorm,ModelNorm (CR LF ended)
};

RelativeErrorResult computeRelativeError(std::span<const double> phases, std::span<const double> obs,
                                         std::span<const double> model);

// The label's caption: "Relative Error: " and the value as "0.######", or the reason.
std::string relativeErrorCaption(const RelativeErrorResult& r);

} // namespace corvane::fitting
