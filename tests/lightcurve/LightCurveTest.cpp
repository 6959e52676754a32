// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "lightcurve/LightCurve.h"
#include "roche/Constants.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace corvane::lightcurve {
namespace {

using platform::Canvas;
using platform::pixelFromRgb;

struct StepCase {
    const char* filter;
    std::vector<int> channels; // the channel of each revolution, from the filter's start
};

void PrintTo(const StepCase& c, std::ostream* os) { *os << c.filter; }

class ChannelStepping : public ::testing::TestWithParam<StepCase> {};

TEST_P(ChannelStepping, FollowsTheFilter) {
    const StepCase& c = GetParam();
    const auto f = filterChannels(c.filter);
    ASSERT_TRUE(f.has_value());
    // The first frame of a run is itself the start of a revolution, stepping from the filter's
    // starting channel; each later start steps again.
    std::int16_t channel = f->channel;
    for (std::size_t rev = 0; rev < c.channels.size(); ++rev) {
        channel = nextChannel(channel, f->first, f->last, c.filter, true);
        EXPECT_EQ(channel, c.channels[rev]) << c.filter << " revolution " << rev;
        // Frames within a revolution keep the channel.
        EXPECT_EQ(nextChannel(channel, f->first, f->last, c.filter, false), channel);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Filters, ChannelStepping,
    ::testing::Values(StepCase{"RGB", {2, 1, 3, 2, 1, 3}}, StepCase{"LRGB", {3, 2, 1, 0, 3, 2}},
                      StepCase{"L", {0, 0, 0}}, StepCase{"R", {3, 3, 3}}, StepCase{"G", {2, 2, 2}},
                      StepCase{"B", {1, 1, 1}}));

TEST(ChannelStepping, RgbSkipsLuminanceAndLrgbDoesNot) {
    EXPECT_EQ(nextChannel(1, 1, 3, "RGB", true), 3);
    EXPECT_EQ(nextChannel(1, 0, 3, "LRGB", true), 0);
    EXPECT_EQ(nextChannel(0, 0, 3, "LRGB", true), 3);
    EXPECT_FALSE(filterChannels("rgb").has_value()) << "case-sensitive";
    EXPECT_FALSE(filterChannels("").has_value());
}

TEST(ChannelSum, CountsOneByteOrTheSumOfThree) {
    Canvas c(10, 10);
    c.box(0, 0, 0, 0, pixelFromRgb(255, 255, 255), true);
    c.box(1, 0, 1, 0, pixelFromRgb(255, 0, 0), true);
    c.box(2, 0, 2, 0, pixelFromRgb(10, 20, 30), true);
    EXPECT_EQ(channelSum(c, 0), 765u + 255u + 60u) << "luminance of white is 765, of red 255";
    EXPECT_EQ(channelSum(c, 3), 255u + 255u + 10u);
    EXPECT_EQ(channelSum(c, 2), 255u + 20u);
    EXPECT_EQ(channelSum(c, 1), 255u + 30u);
    EXPECT_EQ(channelSum(c, 4), 0u);
}

TEST(ChannelSum, IsExactForLargeWhitePictures) {
    Canvas c(4000, 3000); // 12 megapixels of white
    c.box(0, 0, 3999, 2999, pixelFromRgb(255, 255, 255), true);
    EXPECT_EQ(channelSum(c, 0), 765ull * 12000000ull);
}

TEST(Magnitude, IsTheLogarithmToTheBaseTwoPointFiveOneTwo) {
    EXPECT_NEAR(*magnitude(std::pow(2.512, 10)), 10.0, 1e-12);
    EXPECT_NEAR(*magnitude(1.0), 0.0, 0.0);
    EXPECT_FALSE(magnitude(0.0).has_value());
    EXPECT_FALSE(magnitude(-5.0).has_value());
}

TEST(PhaseIndex, CoversOneRevolution) {
    EXPECT_EQ(phaseIndex(800, 0.0), 0);
    EXPECT_EQ(phaseIndex(800, Pi), 400);
    EXPECT_EQ(phaseIndex(800, std::nextafter(2 * Pi, 0.0)), 799);
    EXPECT_EQ(phaseIndex(800, 2 * Pi - 1e-9), 799);
    EXPECT_EQ(phaseIndex(800, 2 * Pi), 800);
}

TEST(PlotY, MapsTheRangeOntoTheBand) {
    EXPECT_EQ(plotY(5, 5, 5), 257) << "a flat curve";
    EXPECT_EQ(plotY(100, 200, 100), 257);
    EXPECT_EQ(plotY(200, 200, 100), 6);
    EXPECT_EQ(plotY(150, 200, 100), 257 - 125);
    EXPECT_GE(plotY(0, 200000, 100000), 300) << "an unmeasured point falls below the band";
    EXPECT_GE(plotY(1, NAN, 0), 300);
}

struct CurveFixture : ::testing::Test {
    LightCurveState s;
    Canvas picture{100, 50};
    Canvas plot{800, 264};
};

TEST_F(CurveFixture, MeasureFrameStoresTheSumAtThePhase) {
    s.Channel = 3;
    picture.box(0, 0, 9, 9, pixelFromRgb(200, 0, 0), true);
    MeasureFrame(s, picture, plot, Pi / 2, false, "RGB");
    EXPECT_EQ(s.PhaseIndex, 200);
    EXPECT_EQ(s.at(3, 200), 100 * 200.0);
    EXPECT_EQ(s.PhaseAt[200], Pi / 2);
    EXPECT_EQ(s.LCMax, 20000.0);
    EXPECT_EQ(s.LCMin, 20000.0);
    EXPECT_EQ(s.Line1X, 200);
    EXPECT_EQ(s.PlotY, 257);
    EXPECT_EQ(plot.pixel(202, 257), pixelFromRgb(255, 0, 0)) << "a red marker of radius 2";
}

TEST_F(CurveFixture, MagnitudeScaleStoresLogarithmsAndZeroForBlack) {
    s.Channel = 2;
    MeasureFrame(s, picture, plot, 0.1, true, "G");
    EXPECT_EQ(s.at(2, phaseIndex(800, 0.1)), 0.0) << "a black frame stores 0";
    picture.box(0, 0, 0, 0, pixelFromRgb(0, 251, 0), true);
    MeasureFrame(s, picture, plot, 0.2, true, "G");
    EXPECT_NEAR(s.at(2, phaseIndex(800, 0.2)), std::log(251.0) / std::log(2.512), 1e-12);
}

TEST_F(CurveFixture, NewExtremesRedrawThePlotFirst) {
    s.Channel = 3;
    picture.box(0, 0, 9, 9, pixelFromRgb(100, 0, 0), true);
    MeasureFrame(s, picture, plot, 0.0, false, "R");
    picture.box(0, 0, 9, 9, pixelFromRgb(50, 0, 0), true);
    MeasureFrame(s, picture, plot, 0.1, false, "R");
    EXPECT_EQ(s.PrevX, phaseIndex(800, 0.1)) << "a new minimum redraws, then the marker is set";
    // The earlier point was redrawn at the top of the new range.
    EXPECT_EQ(plot.pixel(2, 6), pixelFromRgb(255, 0, 0));
    picture.box(0, 0, 9, 9, pixelFromRgb(75, 0, 0), true);
    MeasureFrame(s, picture, plot, 0.2, false, "R");
    const int x = phaseIndex(800, 0.2);
    EXPECT_EQ(s.PlotY, 257 - static_cast<int>(std::floor(252 * 2500 / (5000 + 0.001))));
    EXPECT_EQ(s.PrevX, x);
}

TEST_F(CurveFixture, ReplotDrawsOnlyMeasuredPointsAndJoinsCloseOnes) {
    s.ChannelFirst = s.ChannelLast = 3;
    s.LCMin = 1000;
    s.LCMax = 2000;
    s.at(3, 100) = 1000;
    s.at(3, 110) = 2000;
    s.at(3, 200) = 1500;
    Replot(s, plot);
    EXPECT_EQ(plot.pixel(102, 257), pixelFromRgb(255, 0, 0));
    EXPECT_EQ(plot.pixel(112, 6), pixelFromRgb(255, 0, 0));
    EXPECT_EQ(plot.pixel(105, 257 - 126), pixelFromRgb(255, 255, 255)) << "joined: 10 columns apart";
    // 90 columns apart: not joined.
    EXPECT_EQ(plot.pixel(150, 70), 0u);
    // Unmeasured columns (value 0) are hidden: nothing at x = 50.
    for (int y = 0; y < 264; ++y) {
        ASSERT_EQ(plot.pixel(50, y), 0u) << y;
    }
    EXPECT_EQ(s.PrevX, -1);
}

TEST_F(CurveFixture, ObservedPointsAreOverlaidAQuarterRevolutionIn) {
    s.ObsCount = 2;
    s.ObsPhase[1] = 0.9;
    s.ObsValue[1] = 10;
    s.ObsPhase[2] = 0.0;
    s.ObsValue[2] = 20;
    s.ObsMin = 10;
    s.ObsMax = 20;
    Replot2(s, plot);
    EXPECT_DOUBLE_EQ(s.ReplotX, 200.0) << "phase 0 at a quarter of 800";
    EXPECT_EQ(plot.pixel(120, 257), pixelFromRgb(0, 0, 255)) << "phase 0.9 at x = 720 + 200 - 800 = 120";
    EXPECT_EQ(plot.pixel(118, 255), pixelFromRgb(255, 255, 255)) << "white outline";
    EXPECT_EQ(plot.pixel(200, 6), pixelFromRgb(0, 0, 255));
    LightCurveState none;
    none.LCMin = 1000; // a measured range: unmeasured points (0) lie below it
    none.LCMax = 2000;
    Canvas empty(800, 264);
    Replot(none, empty);
    for (auto p : empty.pixels()) {
        ASSERT_EQ(p, 0u) << "no observed curve, no overlay";
    }
}

TEST_F(CurveFixture, RefreshClearsEveryChannelWhateverTheFilter) {
    s.ChannelFirst = 1;
    s.ChannelLast = 3;
    s.at(0, 5) = 1;
    s.at(1, 5) = 1;
    s.at(3, 5000) = 1;
    s.Measured[5] = 0b11;
    s.LCMax = 9;
    s.clearForRefresh(9000);
    EXPECT_EQ(s.at(0, 5), 0.0) << "a channel outside the filter is cleared too";
    EXPECT_FALSE(s.measured(0, 5));
    EXPECT_FALSE(s.measured(1, 5));
    EXPECT_EQ(s.at(1, 5), 0.0);
    EXPECT_EQ(s.at(3, 5000), 0.0);
    EXPECT_EQ(s.LCMax, -1e14);
    EXPECT_EQ(s.LCPoints, 9000);
}

} // namespace
} // namespace corvane::lightcurve

namespace corvane::lightcurve {
namespace {

// The sum over the drawn area equals the plain sum over the whole picture, in every channel.
TEST(ChannelSum, OverTheDrawnAreaEqualsThePlainSum) {
    platform::Canvas c(300, 200);
    const platform::IntPoint quad[] = {{20, 30}, {250, 10}, {280, 190}, {40, 150}};
    c.polygon(quad, platform::pixelFromRgb(200, 100, 50), platform::pixelFromRgb(255, 255, 255));
    c.circle(10, 190, 6, platform::pixelFromRgb(9, 8, 7));
    for (int channel = 0; channel <= 3; ++channel) {
        std::uint64_t plain = 0;
        for (platform::Pixel p : c.pixels()) {
            const std::uint64_t b = p & 0xFF, g = (p >> 8) & 0xFF, r = (p >> 16) & 0xFF;
            plain += channel == 0 ? b + g + r : channel == 1 ? b : channel == 2 ? g : r;
        }
        EXPECT_EQ(channelSum(c, channel), plain) << "channel " << channel;
    }
    c.clear();
    EXPECT_EQ(channelSum(c, 0), 0u);
}

} // namespace
} // namespace corvane::lightcurve
