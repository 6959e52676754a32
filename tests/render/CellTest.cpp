// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "render/Scene.h"

#include <gtest/gtest.h>

#include <cmath>

namespace corvane::render {
namespace {

using platform::Pixel;
using platform::pixelFromRgb;

// A cell with centre c whose corners are c + a, c - b, c - a, c + b (so the corner mean is c and
// the depth component of a x b fixes CosView).
struct CellFixture : ::testing::Test {
    CellFixture() { s.Picture1.resize(100, 100); }
    Scene s;
    SceneInputs in;

    void setCell(roche::ScreenPoint c, roche::ScreenPoint a, roche::ScreenPoint b) {
        auto add = [](roche::ScreenPoint p, roche::ScreenPoint q, double k) {
            return roche::ScreenPoint{p.X + k * q.X, p.Y + k * q.Y, p.Z + k * q.Z};
        };
        s.Corner = {add(c, a, 1), add(c, b, -1), add(c, a, -1), add(c, b, 1), add(c, a, 1)};
    }
    // A square of side about 28 facing the viewer; visible for the northern flag TB = 0.
    void faceOn() { setCell({0, 50, 50}, {0, -10, -10}, {0, -10, 10}); }
    // The same square turned so that CosView = 0.5.
    void halfTurned() { setCell({0, 50, 50}, {0, -10, -10}, {std::sqrt(600.0), -10, 10}); }

    Pixel expected(double T, double bright) {
        const Rgb rgb = StarColorTemp(T, in.Colour);
        auto ch = [&](double v) { return std::min(255, static_cast<int>(std::fabs(std::floor(v * bright)))); };
        return pixelFromRgb(ch(rgb.R), ch(rgb.G), ch(rgb.B));
    }
};

TEST_F(CellFixture, FaceOnCellIsPaintedInItsFullColour) {
    faceOn();
    DrawCell(s, in, 0.3, 0.5, 8200, 0, 0, 0, 2, 0, 0);
    EXPECT_DOUBLE_EQ(s.CosView, 1.0);
    EXPECT_DOUBLE_EQ(s.CellBright, 1.0);
    EXPECT_EQ(s.Picture1.pixel(50, 50), expected(8200, 1.0));
    EXPECT_EQ(s.DotColor, 0xFFFFFFu);
    EXPECT_EQ(s.CellsDrawn, 1);
    // "Paint" takes the corners to 1/SubPixel of a pixel.
    EXPECT_EQ(s.CellSubPoints[0].x, 40 * platform::SubPixel);
    EXPECT_EQ(s.CellSubPoints[0].y, 40 * platform::SubPixel);
    in.Mode = DrawMode::Grid;
    DrawCell(s, in, 0.3, 0.5, 8200, 0, 0, 0, 2, 0, 0);
    EXPECT_EQ(s.CellPoints[0].x, 40) << "the other modes, to whole pixels";
    EXPECT_EQ(s.CellPoints[0].y, 40);
}

TEST_F(CellFixture, HemisphereFlagTurnsTheNormalAround) {
    faceOn();
    DrawCell(s, in, 0.3, 0.5, 8200, 1, 0, 0, 2, 0, 0);
    EXPECT_DOUBLE_EQ(s.CosView, -1.0);
    EXPECT_EQ(s.DotColor, 0x555555u);
    EXPECT_EQ(s.Picture1.pixel(50, 50), 0u) << "a back face is not drawn";
}

TEST_F(CellFixture, EdgeOnCellIsNotDrawn) {
    // a and b parallel on the screen: the normal lies in the picture plane, CosView exactly 0.
    setCell({0, 50, 50}, {5, -10, -10}, {-5, -10, -10});
    for (int tb : {0, 1}) {
        DrawCell(s, in, 0.3, 0.5, 8200, tb, 0, 0, 2, 0, 0);
        EXPECT_EQ(s.CosView, 0.0);
        EXPECT_EQ(s.CellsDrawn, 0);
    }
    // A collapsed cell (all corners on one point) is not drawn either, and makes no NaN.
    setCell({0, 50, 50}, {0, 0, 0}, {0, 0, 0});
    DrawCell(s, in, 0.3, 0.5, 8200, 0, 0, 0, 2, 0, 0);
    EXPECT_EQ(s.CosView, 0.0);
    EXPECT_EQ(s.CellsDrawn, 0);
}

struct LimbCase {
    double WW;
    bool faceOn;
    double bright;
};

void PrintTo(const LimbCase& c, std::ostream* os) { *os << "u = " << c.WW << (c.faceOn ? " centre" : " mu 0.5"); }

class LimbDarkening : public CellFixture, public ::testing::WithParamInterface<LimbCase> {};

TEST_P(LimbDarkening, FollowsTheLinearLaw) {
    const LimbCase& c = GetParam();
    c.faceOn ? faceOn() : halfTurned();
    DrawCell(s, in, 0.3, c.WW, 8200, 0, 0, 0, 2, 0, 0);
    EXPECT_NEAR(s.CellBright, c.bright, 1e-12);
    EXPECT_EQ(s.Picture1.pixel(50, 50), expected(8200, c.bright));
}

INSTANTIATE_TEST_SUITE_P(Coefficients, LimbDarkening,
                         ::testing::Values(LimbCase{0, true, 1}, LimbCase{0, false, 1}, LimbCase{1, true, 1},
                                           LimbCase{1, false, 0.5}, LimbCase{0.5, false, 0.75},
                                           LimbCase{-0.5, false, 1.25}));

// Regression: a channel brighter than 255 (negative limb darkening) was painted as 0.
TEST_F(CellFixture, NegativeLimbDarkeningPaintedBlack) {
    halfTurned();
    DrawCell(s, in, 0.3, -1.0, 8200, 0, 0, 0, 2, 0, 0);
    EXPECT_DOUBLE_EQ(s.CellBright, 1.5);
    EXPECT_EQ(s.CellR, 255);
    EXPECT_EQ(s.CellG, 255);
    EXPECT_EQ(s.CellB, 255);
    EXPECT_EQ(s.Picture1.pixel(50, 50), pixelFromRgb(255, 255, 255));
}

TEST_F(CellFixture, GranulationDimsByUpToFivePerCent) {
    platform::UniformRandom random;
    s.Gran.fill(random);
    in.Granulation = true;
    faceOn();
    for (int i : {0, 7, 100, 250}) {
        for (int j : {0, 13, 99}) {
            for (int tb : {0, 1}) {
                tb == 0 ? faceOn() : setCell({0, 50, 50}, {0, -10, 10}, {0, -10, -10});
                DrawCell(s, in, 0.3, 0.0, 8200, tb, i, j, 2, 0, 0);
                EXPECT_GE(s.CellBright, 0.95) << i << " " << j << " " << tb;
                EXPECT_LT(s.CellBright, 1.0) << i << " " << j << " " << tb;
                const double g = s.Gran.at(i % 100, (j + 111 * tb) % 100);
                EXPECT_DOUBLE_EQ(s.CellBright, 0.95 + 0.05 * g);
            }
        }
    }
    // Rows 0 and 100 are the same row of the table.
    faceOn();
    DrawCell(s, in, 0.3, 0.0, 8200, 0, 0, 5, 2, 0, 0);
    const double first = s.CellBright;
    DrawCell(s, in, 0.3, 0.0, 8200, 0, 100, 5, 2, 0, 0);
    EXPECT_EQ(s.CellBright, first);
    // Negative indices wrap the same way (floor-based remainder).
    DrawCell(s, in, 0.3, 0.0, 8200, 0, -100, 5, 2, 0, 0);
    EXPECT_EQ(s.CellBright, first);
}

TEST(GranTable, IsUniformInTheUnitIntervalAndRepeatsFromRunToRun) {
    platform::UniformRandom r1;
    platform::UniformRandom r2;
    GranTable a;
    GranTable b;
    EXPECT_EQ(a.at(50, 50), 0.0) << "zeros until first filled";
    a.fill(r1);
    b.fill(r2);
    double sum = 0;
    for (int x = 0; x < GranTable::Size; ++x) {
        for (int y = 0; y < GranTable::Size; ++y) {
            ASSERT_GE(a.at(x, y), 0.0);
            ASSERT_LT(a.at(x, y), 1.0);
            ASSERT_EQ(a.at(x, y), b.at(x, y));
            sum += a.at(x, y);
        }
    }
    EXPECT_NEAR(sum / (101 * 101), 0.5, 0.01);
    b.fill(r2);
    EXPECT_NE(a.at(3, 4), b.at(3, 4)) << "a second fill continues the sequence";
}

TEST_F(CellFixture, DrawingModes) {
    faceOn();
    const Pixel colour = expected(8200, 1.0);
    in.Mode = DrawMode::Grid;
    DrawCell(s, in, 0.3, 0.0, 8200, 0, 0, 0, 2, 0, 0);
    EXPECT_EQ(s.Picture1.pixel(50, 50), 0u) << "grid cells are black inside";
    EXPECT_EQ(s.Picture1.pixel(45, 40), colour) << "and outlined in their colour";

    s.Picture1.clear();
    in.Mode = DrawMode::Dots;
    DrawCell(s, in, 0.3, 0.0, 8200, 0, 0, 0, 2, 0, 0);
    const Pixel white = pixelFromRgb(255, 255, 255);
    EXPECT_EQ(s.Picture1.pixel(51, 50), white) << "a white dot of radius 1 at the centre";
    EXPECT_EQ(s.Picture1.pixel(50, 49), white);
    EXPECT_EQ(s.Picture1.pixel(50, 50), 0u);
    EXPECT_EQ(s.Picture1.pixel(45, 40), 0u) << "black outline";
    int nonBlack = 0;
    for (Pixel p : s.Picture1.pixels()) {
        if (p != 0) {
            ++nonBlack;
            EXPECT_EQ(p, white);
        }
    }
    EXPECT_EQ(nonBlack, 4);

    s.Picture1.clear();
    in.Mode = DrawMode::Paint;
    DrawCell(s, in, 0.3, 0.0, 8200, 0, 0, 0, 2, 0, 0);
    EXPECT_EQ(s.Picture1.pixel(50, 50), colour);
    EXPECT_EQ(s.Picture1.pixel(45, 40), colour);
}

TEST_F(CellFixture, NeckCellsNeverTakeTheSpot) {
    in.Colour.SpotActive = true;
    in.Colour.SpotTemp = 3000;
    in.Colour.SpotRadius = 10; // covers every direction
    faceOn();
    DrawCell(s, in, 0.3, 0.0, 8200, 0, 0, 0, 1, 0, 0);
    EXPECT_EQ(s.Picture1.pixel(50, 50), expected(3000, 1.0)) << "star 1 inside the spot";
    DrawNeckCell(s, in, 0.3, 0.0, 8200, 0, 0, 0);
    EXPECT_EQ(s.Picture1.pixel(50, 50), expected(8200, 1.0));
}

TEST_F(CellFixture, NeckStefanBoltzmannScalesBlendedTemperatures) {
    in.Colour.Stefan = true;
    in.Colour.TempMax = 8000;
    in.Temp1 = 6000;
    in.Temp2 = 8000;
    faceOn();
    const Rgb base = StarColorTemp(7000, in.Colour); // already times (7000 / TempMax)^4
    const double extra = std::pow(7000.0 / 8000.0, 4);
    DrawNeckCell(s, in, 0.3, 0.0, 7000, 0, 0, 0);
    EXPECT_EQ(s.CellR, std::floor(base.R * extra));
    EXPECT_EQ(s.CellG, std::floor(base.G * extra));
    // A star's own temperature gets no extra factor.
    DrawNeckCell(s, in, 0.3, 0.0, 6000, 0, 0, 0);
    EXPECT_EQ(s.CellR, std::floor(StarColorTemp(6000, in.Colour).R));
    // Equal temperatures: both factors apply.
    in.Temp1 = in.Temp2 = 8000;
    DrawNeckCell(s, in, 0.3, 0.0, 7000, 0, 0, 0);
    EXPECT_EQ(s.CellR, std::floor(base.R * extra * extra));
}

TEST_F(CellFixture, FarOffCellsAreClippedNotCrashing) {
    setCell({0, 1e12, -1e12}, {0, -1e11, -1e11}, {0, -1e11, 1e11});
    DrawCell(s, in, 0.3, 0.0, 8200, 0, 0, 0, 2, 0, 0);
    setCell({0, NAN, 5}, {0, -10, -10}, {0, -10, 10});
    DrawCell(s, in, 0.3, 0.0, 8200, 0, 0, 0, 2, 0, 0);
    for (Pixel p : s.Picture1.pixels()) {
        ASSERT_EQ(p, 0u);
    }
}

} // namespace
} // namespace corvane::render
