// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#include "LightCurve.h"

#include "roche/Constants.h"

#include <algorithm>
#include <cmath>

namespace corvane::lightcurve {

using platform::Pixel;
using platform::pixelFromRgb;

void LightCurveState::clearForRefresh(int plotWidth) {
    LCMax = -1e14;
    LCMin = 1e14;
    LCPoints = plotWidth;
    const int lastPoint = std::clamp(LCPoints, 0, MaxPoint);
    for (int channel = 0; channel < Channels; ++channel) {
        for (int point = 0; point <= lastPoint; ++point) {
            at(channel, point) = 0.0;
        }
    }
    std::fill(Measured.begin(), Measured.end(), std::uint8_t{0});
}

std::optional<FilterChannels> filterChannels(const std::string& text) {
    if (text == "LRGB") {
        return FilterChannels{0, 3, 0};
    }
    if (text == "RGB") {
        return FilterChannels{1, 3, 3};
    }
    if (text == "L") {
        return FilterChannels{0, 0, 0};
    }
    if (text == "R") {
        return FilterChannels{3, 3, 3};
    }
    if (text == "G") {
        return FilterChannels{2, 2, 2};
    }
    if (text == "B") {
        return FilterChannels{1, 1, 1};
    }
    return std::nullopt;
}

std::int16_t nextChannel(std::int16_t channel, int first, int last, const std::string& filter, bool startOfRevolution) {
    if (startOfRevolution && first != last) {
        --channel;
    }
    if (channel < 0) {
        channel = 3;
    }
    if (filter == "RGB" && channel < 1) {
        channel = 3;
    }
    return channel;
}

std::uint64_t channelSum(const platform::Canvas& picture, int channel) {
    // Outside the drawn area the picture is black: only the drawn columns of each row are summed. Each row in 32
    // bits (at most 10000 pixels of 765), which the compiler can run several pixels at a time.
    const platform::Canvas::Area area = picture.drawnArea();
    if (area.empty() || channel < 0 || channel > 3) {
        return 0;
    }
    const auto pixels = picture.pixels();
    const auto width = static_cast<std::size_t>(picture.width());
    const int shift = channel == 3 ? 16 : channel == 2 ? 8 : 0;
    std::uint64_t sum = 0;
    for (int y = area.y0; y <= area.y1; ++y) {
        const Pixel* row = pixels.data() + static_cast<std::size_t>(y) * width;
        const int first = picture.drawnRowFirst(y);
        const int last = picture.drawnRowLast(y);
        std::uint32_t rowSum = 0;
        if (channel == 0) {
            for (int x = first; x <= last; ++x) {
                const Pixel p = row[x];
                rowSum += (p & 0xFF) + ((p >> 8) & 0xFF) + ((p >> 16) & 0xFF);
            }
        } else {
            for (int x = first; x <= last; ++x) {
                rowSum += (row[x] >> shift) & 0xFF;
            }
        }
        sum += rowSum;
    }
    return sum;
}

int phaseIndex(int lcPoints, double eta) {
    const double index = std::floor(lcPoints * eta / (2 * Pi));
    return static_cast<int>(std::clamp(index, -1e9, 1e9));
}

std::optional<double> magnitude(double sum) {
    if (!(sum > 0) || !std::isfinite(sum)) {
        return std::nullopt;
    }
    return std::log(sum) / std::log(2.512);
}

int plotY(double value, double max, double min) {
    const double y = 257 - std::floor(252 * (value - min) / (max - min + 0.001));
    if (!std::isfinite(y)) {
        return 1000000;
    }
    return static_cast<int>(std::clamp(y, -1e6, 1e6));
}

Pixel plotColor(int channel) {
    switch (channel) {
    case 3:
        return pixelFromRgb(255, 0, 0);
    case 2:
        return pixelFromRgb(0, 255, 0);
    case 1:
        return pixelFromRgb(0, 0, 255);
    default:
        return pixelFromRgb(255, 255, 255);
    }
}

namespace {

constexpr Pixel White = pixelFromRgb(255, 255, 255);
constexpr Pixel Blue = pixelFromRgb(0, 0, 255);

int toCoord(double v) { return static_cast<int>(std::clamp(v, -1e6, 1e6)); }

} // namespace

void Replot(LightCurveState& s, platform::Canvas& plot) {
    plot.clear();
    s.ReplotPrevX = 0;
    s.ReplotPrevY = 0;
    s.PrevX = -1;
    s.PrevY = -1;
    const int lastPoint = std::min(s.LCPoints, MaxPoint);
    for (int k = std::max(s.ChannelFirst, 0); k <= std::min(s.ChannelLast, Channels - 1); ++k) {
        s.ReplotPrevX = 0;
        s.ReplotPrevY = 0;
        for (int x = 0; x <= lastPoint; ++x) {
            s.ReplotX = x;
            s.ReplotY = plotY(s.at(k, x), s.LCMax, s.LCMin);
            if (s.ReplotY < 300) {
                s.PlotColor = plotColor(k);
                plot.circle(x, toCoord(s.ReplotY), 2, s.PlotColor);
                if (std::fabs(x - s.ReplotPrevX) < 30 && x > s.ReplotPrevX && s.ReplotPrevX > -1 && x > 0) {
                    plot.line(toCoord(s.ReplotPrevX), toCoord(s.ReplotPrevY), x, toCoord(s.ReplotY), White);
                }
                s.ReplotPrevX = x;
                s.ReplotPrevY = s.ReplotY;
            }
        }
    }
    if (s.ObsCount >= 1) {
        Replot2(s, plot);
    }
}

void Replot2(LightCurveState& s, platform::Canvas& plot) {
    s.ReplotPrevX = -1;
    s.ReplotPrevY = 0;
    s.PrevX = -1;
    s.PrevY = -1;
    const int count = std::min<int>(s.ObsCount, MaxPoint);
    for (int i = 1; i <= count; ++i) {
        s.ReplotY = plotY(s.ObsValue[static_cast<std::size_t>(i)], s.ObsMax, s.ObsMin);
        s.ReplotX = s.ObsPhase[static_cast<std::size_t>(i)] * s.LCPoints + s.LCPoints / 4.0;
        if (s.ReplotX > s.LCPoints) {
            s.ReplotX -= s.LCPoints;
        }
        if (s.ReplotY < 300) {
            s.PlotColor = White;
            const int x = toCoord(std::floor(s.ReplotX + 0.5));
            const int y = toCoord(s.ReplotY);
            plot.box(x - 2, y - 2, x + 2, y + 2, Blue, true);
            plot.box(x - 2, y - 2, x + 2, y + 2, White, false);
            s.ReplotPrevX = s.ReplotX;
            s.ReplotPrevY = s.ReplotY;
        }
    }
}

void MeasureFrame(LightCurveState& s, const platform::Canvas& picture, platform::Canvas& plot, double Eta,
                  bool magnitudeScale, const std::string& filter) {
    s.Channel = nextChannel(s.Channel, s.ChannelFirst, s.ChannelLast, filter, false);
    s.FrameSum = static_cast<double>(channelSum(picture, s.Channel));

    s.PhaseIndex = phaseIndex(s.LCPoints, Eta);
    const bool stored = s.PhaseIndex >= 0 && s.PhaseIndex <= MaxPoint;
    if (stored) {
        s.PhaseAt[static_cast<std::size_t>(s.PhaseIndex)] = Eta;
    }
    if (s.PhaseIndex < s.LCPoints) {
        s.Line1X = s.PhaseIndex;
    }
    if (magnitudeScale) {
        // A black frame has no magnitude: its sum stays 0 and 0 is stored.
        if (const auto m = magnitude(s.FrameSum)) {
            s.FrameSum = *m;
        }
    }
    if (!stored) {
        return; // a plot wider than the tables: the point is not recorded
    }
    s.at(s.Channel, s.PhaseIndex) = s.FrameSum;
    s.Measured[static_cast<std::size_t>(s.PhaseIndex)] |= static_cast<std::uint8_t>(1U << s.Channel);
    if (s.FrameSum > s.LCMax) {
        s.LCMax = s.FrameSum;
        Replot(s, plot);
    }
    if (s.FrameSum < s.LCMin) {
        s.LCMin = s.FrameSum;
        Replot(s, plot);
    }
    s.PlotY = plotY(s.at(s.Channel, s.PhaseIndex), s.LCMax, s.LCMin);
    if (s.PlotY < 300) {
        s.PlotColor = plotColor(s.Channel);
        plot.circle(s.PhaseIndex, s.PlotY, 2, s.PlotColor);
        if (s.PhaseIndex > s.PrevX && s.PrevX > -1) {
            plot.line(s.PrevX, s.PrevY, s.PhaseIndex, s.PlotY, White);
        }
        s.PrevX = s.PhaseIndex;
        s.PrevY = s.PlotY;
    }
}

} // namespace corvane::lightcurve
