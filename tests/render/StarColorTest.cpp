// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "render/StarColor.h"
#include "roche/Constants.h"

#include <gtest/gtest.h>

#include <cmath>

namespace corvane::render {
namespace {

struct ColourCase {
    double T;
    double R, G, B;
};

void PrintTo(const ColourCase& c, std::ostream* os) { *os << c.T << " K"; }

class ColourTable : public ::testing::TestWithParam<ColourCase> {};

TEST_P(ColourTable, MatchesTheReferenceValues) {
    const ColourCase& c = GetParam();
    const Rgb rgb = StarColorTemp(c.T, {});
    EXPECT_NEAR(rgb.R, c.R, 0.06) << c.T;
    EXPECT_NEAR(rgb.G, c.G, 0.06) << c.T;
    EXPECT_NEAR(rgb.B, c.B, 0.06) << c.T;
}

// Independent evaluations of the formulas: R = 5.61e7 T^-1.5 + 148, G = 100.04 ln T - 623.6 up to
// 6500 K and 3.52e7 T^-1.5 + 184 above, B = 194.18 ln T - 1448.6, each clamped to 0..255.
INSTANTIATE_TEST_SUITE_P(
    EdgeCases, ColourTable,
    ::testing::Values(ColourCase{6500, 255, 254.71, 255},           // log green at exactly 6500
                      ColourCase{6500.001, 255, 251.17, 255},        // power green just above
                      ColourCase{3000, 255, 177.36, 106.08}, ColourCase{2000, 255, 136.79, 27.34},
                      ColourCase{1700, 255, 120.54, 0},             // blue gone below about 1737 K
                      ColourCase{30000, 158.80, 190.77, 255}, ColourCase{8200, 223.55, 231.40, 255},
                      ColourCase{1, 255, 0, 0}));

TEST(StarColorTemp, BlueVanishesAtItsZeroCrossing) {
    const double zero = std::exp(1448.6 / 194.18);
    EXPECT_GT(StarColorTemp(zero * 1.0001, {}).B, 0.0);
    EXPECT_EQ(StarColorTemp(zero * 0.9999, {}).B, 0.0);
    EXPECT_NEAR(zero, 1737, 1);
}

TEST(StarColorTemp, StefanBoltzmannScalesByTheFourthPower) {
    ColourSettings c;
    c.Stefan = true;
    c.TempMax = 8000;
    const Rgb full = StarColorTemp(8000, {});
    const Rgb same = StarColorTemp(8000, c);
    EXPECT_DOUBLE_EQ(same.R, full.R);
    EXPECT_DOUBLE_EQ(same.G, full.G);
    const Rgb half = StarColorTemp(4000, c);
    const Rgb plain = StarColorTemp(4000, {});
    EXPECT_DOUBLE_EQ(half.R, plain.R / 16);
    EXPECT_DOUBLE_EQ(half.G, plain.G / 16);
    EXPECT_DOUBLE_EQ(half.B, plain.B / 16);
}

TEST(StarColorTemp, NonPositiveTemperatureIsBlack) {
    for (double t : {0.0, -100.0, std::nan("")}) {
        const Rgb rgb = StarColorTemp(t, {});
        EXPECT_EQ(rgb.R + rgb.G + rgb.B, 0.0) << t;
    }
}

struct SpotFixture : ::testing::Test {
    SpotFixture() {
        c.SpotActive = true;
        c.SpotTemp = 3000;
        c.SpotLat = 0.3;
        c.SpotLon = 2.0;
        c.SpotRadius = 0.2;
    }
    ColourSettings c;
    bool inSpot(int star, double phi, double theta) {
        return StarColor(6000, star, phi, theta, c).B == StarColorTemp(3000, c).B;
    }
};

TEST_F(SpotFixture, OnlyStarOneCarriesTheSpot) {
    EXPECT_TRUE(inSpot(1, 0.3, 2.0));
    EXPECT_FALSE(inSpot(2, 0.3, 2.0));
    EXPECT_FALSE(inSpot(0, 0.3, 2.0)) << "the neck";
    c.SpotActive = false;
    EXPECT_FALSE(inSpot(1, 0.3, 2.0));
}

TEST_F(SpotFixture, BoundaryIsOutside) {
    double dist = -1;
    // Straight north of the centre by exactly the radius.
    StarColor(6000, 1, 0.5, 2.0, c, &dist);
    EXPECT_DOUBLE_EQ(dist, 0.5 - 0.3);
    EXPECT_FALSE(inSpot(1, 0.3 + 0.2, 2.0));
    EXPECT_TRUE(inSpot(1, 0.3 + 0.1999, 2.0));
    // Longitude differences are shortened by the cosine of the latitude.
    EXPECT_TRUE(inSpot(1, 0.3, 2.0 + 0.19 / std::cos(0.3)));
    EXPECT_FALSE(inSpot(1, 0.3, 2.0 + 0.21 / std::cos(0.3)));
}

// Regression: the longitude difference was not wrapped, so a spot on the seam was cut in half.
TEST_F(SpotFixture, SpotCutAtTheLongitudeSeam) {
    c.SpotLat = 0.0;
    c.SpotLon = 3 * HalfPi - 0.05; // just before the seam of the mesh at 3 pi / 2 = -pi / 2
    EXPECT_TRUE(inSpot(1, 0.0, 3 * HalfPi - 0.1));
    EXPECT_TRUE(inSpot(1, 0.0, -HalfPi + 0.05)) << "across the seam, 0.1 rad away";
    EXPECT_FALSE(inSpot(1, 0.0, -HalfPi + 0.2));
    c.SpotLon = 220 * Pi / 180 + Pi; // the default spot longitude, beyond 2 pi
    EXPECT_TRUE(inSpot(1, 0.0, 40 * Pi / 180));
}

} // namespace
} // namespace corvane::render
