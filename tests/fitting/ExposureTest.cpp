// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
// Averages over an exposure against brute-force fine averages, across the kinks of eclipse contacts.
#include "fitting/Exposure.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace corvane::fitting {
namespace {

// An eclipse of depth 0.4 centred on phase 0.5: linear ingress and egress of 0.01 and a flat bottom of
// 0.02 (four kinks), on a light that also varies smoothly out of eclipse (ellipsoidal).
double light(double phase) {
    const double x = std::fabs(phase - 0.5);
    const double eclipse = x < 0.01 ? 1.0 : x < 0.02 ? (0.02 - x) / 0.01 : 0.0;
    return 1 - 0.05 * std::cos(4 * 3.141592653589793 * phase) - 0.4 * eclipse;
}

std::vector<double> lights(const std::vector<double>& phases) {
    std::vector<double> out;
    out.reserve(phases.size());
    for (const double p : phases) {
        out.push_back(light(p));
    }
    return out;
}

double bruteAverage(double phase, double width) {
    const int n = 20000; // its own error at a kink is under 1e-9
    double sum = 0;
    for (int k = 0; k < n; ++k) {
        sum += light(phase - 0.5 * width + (k + 0.5) * width / n);
    }
    return sum / n;
}

TEST(Exposure, AveragesAcrossContactsToTheTolerance) {
    // A 30-minute exposure of a 1.27-day orbit is 0.0164 of a revolution; a 2-minute one 0.0011.
    for (const double width : {0.0164, 0.0011, 0.05}) {
        std::vector<double> phases;
        // Every placing of the kinks in the window, the outermost fractions included.
        for (double p = 0.45; p <= 0.55; p += width / 37) {
            phases.push_back(p);
        }
        phases.push_back(0.25);
        const ExposureAverage a = averageOverExposure(phases, width, 1e-7, lights); // the light is about 1
        double worst = 0;
        for (std::size_t i = 0; i < phases.size(); ++i) {
            const double want = bruteAverage(phases[i], width);
            worst = std::max(worst, std::fabs(a.light[i] - want));
            EXPECT_NEAR(a.light[i], want, 1e-6) << "phase " << phases[i] << " width " << width;
        }
        EXPECT_GE(a.largest, 9) << "the contacts need more than the ends and the centre, width " << width;
        EXPECT_LT(a.mean, a.largest) << "smooth stretches settle early, width " << width;
    }
}

TEST(Exposure, NoWidthIsTheLightAtThePhases) {
    const std::vector<double> phases = {0.1, 0.49, 0.5};
    int calls = 0;
    const ExposureAverage a = averageOverExposure(phases, 0, 1e-7, [&](const std::vector<double>& p) {
        ++calls;
        return lights(p);
    });
    EXPECT_EQ(calls, 1);
    for (std::size_t i = 0; i < phases.size(); ++i) {
        EXPECT_EQ(a.light[i], light(phases[i])) << phases[i];
    }
    EXPECT_EQ(a.largest, 1);
}

TEST(Exposure, AStraightStretchSettlesOnTheEndsAndTheCentre) {
    const std::vector<double> phases = {0.2};
    const ExposureAverage a =
        averageOverExposure(phases, 0.01, 1e-12, [](const std::vector<double>& p) {
            std::vector<double> out;
            for (const double x : p) {
                out.push_back(2 + 3 * x);
            }
            return out;
        });
    EXPECT_NEAR(a.light[0], 2.6, 1e-15);
    EXPECT_EQ(a.largest, 3);
}

} // namespace
} // namespace corvane::fitting
