// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "fitting/LightCurveFile.h"
#include "roche/Constants.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace corvane::fitting {
namespace {

using ::testing::ElementsAre;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        out.push_back(text.substr(start, end - start));
    }
    EXPECT_EQ(start, text.size()) << "the last line ends too";
    return out;
}

// Two measured points of a four-point curve: at Eta = 0 and at Eta = pi (points 0 and 2).
lightcurve::LightCurveState smallCurve() {
    lightcurve::LightCurveState s;
    s.LCPoints = 4;
    s.ChannelFirst = 1;
    s.ChannelLast = 3;
    s.PhaseAt[0] = 0;
    s.PhaseAt[2] = Pi;
    for (int ch : {3, 2, 1}) {
        s.at(ch, 0) = 200;
        s.at(ch, 2) = 100 + ch;
        s.Measured[0] |= static_cast<std::uint8_t>(1U << ch);
        s.Measured[2] |= static_cast<std::uint8_t>(1U << ch);
    }
    s.LCMax = 200;
    s.LCMin = 101;
    return s;
}

TEST(LightCurveFile, LinearScaleLineByLine) {
    const LightCurveText out = FormatLightCurve(smallCurve(), false);
    EXPECT_THAT(lines(out.text), ElementsAre("Phase, Red, Green, Blue, Luminance", "-0.25, 1, 1, 1, ",
                                             "0.25, 0.515, 0.51, 0.505, ", "0.75, 1, 1, 1, ",
                                             "1.25, 0.515, 0.51, 0.505, "))
        << "\"RGB\" does not measure luminance: its field stays empty, never a number";
    EXPECT_EQ(out.SavedLines, 4);
    EXPECT_TRUE(out.SaveComplete) << "luminance is not measured by \"RGB\", so it is not needed";
}

TEST(LightCurveFile, MagnitudeScaleWritesDifferencesFromTheMaximum) {
    const LightCurveText out = FormatLightCurve(smallCurve(), true);
    EXPECT_THAT(lines(out.text), ElementsAre("Phase, Red, Green, Blue, Luminance", "-0.25, 0, 0, 0, ",
                                             "0.25, 97, 98, 99, ", "0.75, 0, 0, 0, ",
                                             "1.25, 97, 98, 99, "))
        << "no luminance of -LCMax (or any number) where nothing measured it";
    EXPECT_TRUE(out.SaveComplete) << "the brightest point written as 0 is still a measured point";
}

// Regression: completeness was judged on the written values, so "RGB" (luminance never measured)
// and the magnitude scale (the brightest point written as 0) never completed.
TEST(LightCurveFile, SaveNeverCompletedWithRgbOrMagnitudes) {
    lightcurve::LightCurveState s = smallCurve();
    EXPECT_TRUE(FormatLightCurve(s, false).SaveComplete);
    EXPECT_TRUE(FormatLightCurve(s, true).SaveComplete);
    s.at(2, 2) = 0;
    EXPECT_TRUE(FormatLightCurve(s, false).SaveComplete) << "a measured 0 (a black frame) is a measurement";
    s.Measured[2] &= static_cast<std::uint8_t>(~(1U << 2)); // green not yet measured at one point
    EXPECT_FALSE(FormatLightCurve(s, false).SaveComplete);
    EXPECT_FALSE(FormatLightCurve(s, true).SaveComplete);
    s.ChannelFirst = s.ChannelLast = 3; // a red-only filter does not need green
    EXPECT_TRUE(FormatLightCurve(s, false).SaveComplete);
    s.ChannelFirst = 0; // "LRGB" needs luminance too
    EXPECT_FALSE(FormatLightCurve(s, false).SaveComplete);
    s.ChannelFirst = s.ChannelLast = 3;
    s.at(1, 2) = 7; // a stale blue value the red-only filter did not measure
    EXPECT_EQ(lines(FormatLightCurve(s, false).text)[2], "0.25, 0.515, , , ") << "only the filter's channels are written";
}

TEST(LightCurveFile, NothingMeasuredIsNotComplete) {
    lightcurve::LightCurveState s;
    const LightCurveText out = FormatLightCurve(s, false);
    EXPECT_EQ(out.text, "Phase, Red, Green, Blue, Luminance\n");
    EXPECT_EQ(out.SavedLines, 0);
    EXPECT_FALSE(out.SaveComplete);
}

} // namespace
} // namespace corvane::fitting
