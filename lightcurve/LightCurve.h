// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include "platform/Canvas.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The light curve: photometry of each drawn frame and the plot of the curve.
// Channels: 0 luminance (R + G + B), 1 blue, 2 green, 3 red. Points: one per pixel column of the
// plot, 0..LCPoints - 1 for a revolution (at most 5000). Plot coordinates are the plot picture's
// pixels, y down; curve values v with extremes (max, min) are drawn at
//   y = 257 - Int(252 (v - min) / (max - min + 0.001))
// so the minimum sits at y = 257 and the maximum at y = 6; points at y >= 300 are not drawn.

namespace corvane::lightcurve {

inline constexpr int Channels = 5;
inline constexpr int MaxPoint = 5000;

// The light-curve slice of the form's state, under the form's names.
struct LightCurveState {
    std::vector<double> LightCurve = std::vector<double>(static_cast<std::size_t>(Channels) * (MaxPoint + 1), 0.0);
    std::vector<double> PhaseAt = std::vector<double>(MaxPoint + 1, 0.0); // Eta of each point
    // Which channels of each point were measured since the last refresh: bit c for channel c. A
    // measured value may be 0 (a black frame), so the values alone cannot tell.
    std::vector<std::uint8_t> Measured = std::vector<std::uint8_t>(MaxPoint + 1, 0);
    int LCPoints = 800;
    double LCMax = -1e14;
    double LCMin = 1e14;
    int ChannelFirst = 1;
    int ChannelLast = 3;
    std::int16_t Channel = 0;
    int PhaseIndex = 0;
    double FrameSum = 0;
    int PlotY = 0;
    int PrevX = -1;
    int PrevY = -1;
    platform::Pixel PlotColor = 0;
    double ReplotX = 0, ReplotY = 0, ReplotPrevX = 0, ReplotPrevY = 0;
    int Line1X = 0; // the phase marker's column (its X1 and X2)

    // The observed curve (slots 1..ObsCount used).
    std::int16_t ObsCount = 0;
    std::vector<double> ObsPhase = std::vector<double>(MaxPoint + 1, 0.0);
    std::vector<double> ObsRaw = std::vector<double>(MaxPoint + 1, 0.0);
    std::vector<double> ObsValue = std::vector<double>(MaxPoint + 1, 0.0);
    double ObsMax = -1e14;
    double ObsMin = 1e14;

    double& at(int channel, int point) {
        return LightCurve[static_cast<std::size_t>(channel) * (MaxPoint + 1) + static_cast<std::size_t>(point)];
    }
    double at(int channel, int point) const {
        return LightCurve[static_cast<std::size_t>(channel) * (MaxPoint + 1) + static_cast<std::size_t>(point)];
    }

    bool measured(int channel, int point) const {
        return channel >= 0 && channel < 8 && ((Measured[static_cast<std::size_t>(point)] >> channel) & 1U) != 0;
    }

    // What a refresh does to the curve: extremes reset, LCPoints taken from the plot's width and the
    // points 0..LCPoints (at most 5000) of every channel cleared, so the curve never holds points of
    // two models.
    void clearForRefresh(int plotWidth);
};

// Channel bounds of a filter ("LRGB", "RGB", "L", "R", "G", "B", compared exactly), and the channel
// it starts on; nothing for any other text.
struct FilterChannels {
    int first;
    int last;
    std::int16_t channel;
};
std::optional<FilterChannels> filterChannels(const std::string& text);

// The channel of the next revolution: at the start of one (Eta = 0) a multi-channel filter steps
// down by one; below 0 it wraps to 3, and "RGB" also wraps below 1 to 3.
std::int16_t nextChannel(std::int16_t channel, int first, int last, const std::string& filter, bool startOfRevolution);

// The sum over every pixel of the picture of one channel's byte (0: blue + green + red), exact.
std::uint64_t channelSum(const platform::Canvas& picture, int channel);

// Point index of the rotation angle Eta: Int(lcPoints Eta / 2 pi), pi = 3.14159265358979.
int phaseIndex(int lcPoints, double eta);

// The magnitude scale: log base 2.512 of the sum; nothing for a sum that is not positive.
std::optional<double> magnitude(double sum);

// y of a value on the plot (see above). A non-finite result lands far below the picture.
int plotY(double value, double max, double min);

// Marker colour of a channel: red, green, blue, white for 3, 2, 1, 0.
platform::Pixel plotColor(int channel);

// Clears the plot and redraws every stored point of the channels ChannelFirst..ChannelLast, joined
// by white lines across gaps of fewer than 30 columns, then the observed curve when one is loaded.
// Resets PrevX and PrevY to -1.
void Replot(LightCurveState& s, platform::Canvas& plot);

// The observed points, each as a blue square with a white outline, observed phase 0 a quarter of a
// revolution in (x = phase LCPoints + LCPoints / 4, less LCPoints past the end), on their own scale.
void Replot2(LightCurveState& s, platform::Canvas& plot);

// Steps 2 to 12 of the photometry of one frame drawn at Eta: channel wrap, the picture's sum in the
// current channel (on the magnitude scale when asked), its point, extremes and plot marker.
void MeasureFrame(LightCurveState& s, const platform::Canvas& picture, platform::Canvas& plot, double Eta,
                  bool magnitudeScale, const std::string& filter);

} // namespace corvane::lightcurve
