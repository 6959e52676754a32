// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include <functional>
#include <span>
#include <vector>

// A model point averaged over an exposure: what a detector that integrates for the whole exposure
// records, rather than the light at its mid-time. Long cadences (Kepler's 29.4 minutes, TESS's full
// frames) smear every eclipse; the mid-time light is off by up to the light's change over half an
// exposure.

namespace corvane::fitting {

struct ExposureAverage {
    std::vector<double> light; // the average at each phase
    int largest = 1;           // the most sub-points any phase needed
    double mean = 1;           // sub-points a phase, on average
};

// The model's light lights(phases) averaged over [phase - width/2, phase + width/2] at each phase
// (width in revolutions): the trapezoid rule on 2, 4, 8, ... equal parts (the ends and the centre
// first; each level keeps the last one's points and adds the middles), level by level for the phases
// not yet settled, until a level changes a phase's average by less than tolerance times the largest of the
// lights at the phases themselves, at most 2^maxLevel + 1 points. Where the light is smooth the rule's error falls fourfold a
// level; across the kink of an eclipse's contact its error changes from level to level by about
// itself wherever the kink lies (the ends are sampled, so no kink hides between the last point and
// the exposure's end), so the last change bounds what is left. A feature narrower than the parts of
// the first levels (a whole eclipse within a quarter of an exposure) could pass unseen. A width that
// is not positive gives the lights at the phases themselves, with one call of lights.
ExposureAverage averageOverExposure(std::span<const double> phases, double width, double tolerance,
                                    const std::function<std::vector<double>(const std::vector<double>&)>& lights,
                                    int maxLevel = 10);

} // namespace corvane::fitting
